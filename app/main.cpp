// flovir: the window. flovir [--demo] [--port NAME|PATH] [--folder DIR]

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("flovir");
  QApplication::setOrganizationName("flovir");
  QApplication::setWindowIcon(QIcon::fromTheme("flovir"));

  // The window is built for the Russian regional settings (calendars,
  // Qt's own dialogs and buttons), whatever the machine's locale.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QTranslator qt_russian;
  if (qt_russian.load(QLocale(QLocale::Russian), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_russian);
  }

  QCommandLineParser parser;
  parser.setApplicationDescription("Связь ФЛОВИР: Modbus-RTU master for the FLOVIR flow meter");
  parser.addHelpOption();
  const QCommandLineOption demo("demo", "Add the built-in simulated meter to the port list.");
  const QCommandLineOption port("port", "Add NAME or PATH to the port list and select it.",
                                "NAME|PATH");
  const QCommandLineOption folder("folder", "The program's folder for reports and temp.xls.",
                                  "DIR");
  const QCommandLineOption history(
      "history", "The history: an SQLite file, or postgresql://USER@HOST:PORT/DB.", "FILE|URI");
  parser.addOptions({demo, port, folder, history});
  parser.process(app);

  flovir::ui::WindowOptions options;
  options.demo = parser.isSet(demo);
  for (const QString& name : parser.values(port)) options.extra_ports.push_back(name.toStdString());
  options.folder = parser.value(folder).toStdString();
  options.history = parser.value(history).toStdString();

  flovir::ui::MainWindow window(options);
  window.show();
  return QApplication::exec();
}
