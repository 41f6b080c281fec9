#include "ui/form1.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QValidator>
#include <exception>

#include "connection/port_list.h"
#include "operations/archive_download.h"
#include "operations/report_files.h"
#ifdef FLOVIR_UI_CHARTS
#include "ui/charts/archive_charts.h"
#else
namespace flovir {
class ArchiveCharts {};
}  // namespace flovir
#endif
#include "ui/form3.h"
#include "ui/qt_executor.h"
#include "ui/trace_sink.h"
#include "ui/widgets.h"
#include "ui/window_ports.h"
#ifdef FLOVIR_UI_PARAMETERS
#include "ui/parameters/parameter_page.h"
#endif

namespace flovir::ui {

namespace {

constexpr const char* kCaption = "Связь ФЛОВИР";
const QStringList kSpeeds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr int kDefaultSpeed = 3;  // 9600
constexpr int kTestPeriodMs = 1000;
const QSize kDefaultSize(860, 640);

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Days since 30 December 1899, the meter's and the workbooks' date values.
double DateValue(const QDate& date) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

QFont ReportFont() {
  // Windows' own fixed-pitch font; Liberation Mono has its metrics elsewhere.
  QFont font;
  font.setFamilies({"Courier New", "Liberation Mono"});
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(13);
  return font;
}

QPlainTextEdit* MakeReportArea(const QString& name, QWidget* parent) {
  auto* area = new QPlainTextEdit(parent);
  area->setFont(ReportFont());
  area->setLineWrapMode(QPlainTextEdit::NoWrap);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Name(area, name, name);
  return area;
}

QLineEdit* MakeEdit(const QString& text, const QString& label, const QString& name,
                    QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  Name(edit, label, name);
  return edit;
}

QComboBox* MakeList(const QStringList& items, int selected, const QString& label,
                    const QString& name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems(items);
  list->setCurrentIndex(selected);
  Name(list, label, name);
  return list;
}

QLabel* MakeLabel(const QString& text, const QString& name, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  if (!name.isEmpty()) {
    label->setObjectName(name);
    label->setAccessibleDescription(name);
  }
  label->setBuddy(buddy);
  return label;
}

// The initialisation string is typed in upper case only.
class UpperCase : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

std::vector<std::string> Lines(const QString& text) {
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  return lines;
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      dispatcher_(*this, clock_),
      executor_(new QtExecutor(this)),
      ports_(std::make_unique<WindowPorts>()) {
  BuildWindow();
  trace_ = new TraceSink(*Memo2, this);
  LinkParts link;
  link.request = &dispatcher_.Request();
  link.executor = executor_;
  link.exchange_completed = [this] { dispatcher_.ExchangeCompleted(); };
  link.trace = trace_;
  link.clear_trace = [this] { trace_->Clear(); };
  link.on_thread_changed = [this](ExchangeThread* thread) { dispatcher_.SetThread(thread); };
  connection_ = std::make_unique<Connection>(*this, *ports_, std::move(link));
  form3_ = new TForm3(*connection_, *this, this);
  FormCreate();
  LoadSettings();
  // Pages of their own folders plug in here: the parameter grid into
  // ParameterGridSlot(), the archive charts into ArchiveSplitter(kind).
#ifdef FLOVIR_UI_CHARTS
  charts_ = std::make_unique<ArchiveCharts>();
  charts_->Add(ReportKind::Hourly, ArchiveSplitter(ReportKind::Hourly), Button13);
  charts_->Add(ReportKind::Daily, ArchiveSplitter(ReportKind::Daily), Button14);
  charts_->Add(ReportKind::Monthly, ArchiveSplitter(ReportKind::Monthly), Button15);
  // A failed archive download clears its chart.
  connect(this, &TForm1::OperationEnded, this, [this] {
    if (!dispatcher_.Busy()) {
      charts_->OperationEnded(dispatcher_.Kind(), dispatcher_.LastSucceeded());
    }
  });
#endif
#ifdef FLOVIR_UI_PARAMETERS
  auto* parameters = new ParameterPage(dispatcher_, this);
  parameter_grid_slot_->addWidget(&parameters->Grid());
  parameters->BindButtons(Button8, Button11, Button10, Button16, Button17);
  connect(this, &TForm1::OperationEnded, parameters, &ParameterPage::OperationEnded);
#endif
}

TForm1::~TForm1() {
  Timer1->stop();
  // The exchange thread calls back into the dispatcher and this view: end it
  // while both still exist.
  connection_.reset();
}

// --- Building the window ---------------------------------------------------

void TForm1::BuildWindow() {
  setWindowTitle(kCaption);
  setAccessibleName(kCaption);
  setAccessibleDescription("Form1");
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");

  auto* settings = new QTabWidget;
  settings->addTab(BuildMainSettingsPage(), "Основные");
  settings->addTab(BuildExtraSettingsPage(), "Дополнительные");
  settings->addTab(BuildModemPage(), "GSM");

  auto* reports = new QTabWidget;
  reports->addTab(BuildReportPage(ReportKind::Current, "Button4", "Button9"), "Текущие");
  reports->addTab(BuildReportPage(ReportKind::Hourly, "Button5", "Button13"), "Часовые");
  reports->addTab(BuildReportPage(ReportKind::Daily, "Button6", "Button14"), "Суточные");
  reports->addTab(BuildReportPage(ReportKind::Monthly, "Button7", "Button15"), "Месячные");
  reports->addTab(BuildParameterPage(), "Параметры");
  reports->addTab(BuildTestPage(), "тест");

  pages_->addTab(settings, "1.   Параметры программы          ");
  pages_->addTab(reports, "****  2. Cкачать  ****");
  setCentralWidget(pages_);

  BuildStatusBar();
  BuildTraceDock();
  BuildMenus();
  resize(kDefaultSize);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kTestPeriodMs);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  for (QRadioButton* radio : {RadioButton1, RadioButton2, RadioButton3, RadioButton6}) {
    connect(radio, &QRadioButton::toggled, this, &TForm1::RadioButton1Click);
  }
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this,
          [this] { ArchiveClick(OperationKind::HourlyArchive); });
  connect(Button6, &QPushButton::clicked, this,
          [this] { ArchiveClick(OperationKind::DailyArchive); });
  connect(Button7, &QPushButton::clicked, this,
          [this] { ArchiveClick(OperationKind::MonthlyArchive); });
  connect(Button9, &QPushButton::clicked, this, [this] { SaveReportArea(Memo1); });
  connect(Button13, &QPushButton::clicked, this, [this] { SaveReportArea(Memo4); });
  connect(Button14, &QPushButton::clicked, this, [this] { SaveReportArea(Memo5); });
  connect(Button15, &QPushButton::clicked, this, [this] { SaveReportArea(Memo6); });
  connect(Button12, &QPushButton::clicked, this, &TForm1::Button12Click);
  connect(ButtonCancel, &QPushButton::clicked, this, &TForm1::ButtonCancelClick);
}

QWidget* TForm1::BuildMainSettingsPage() {
  auto* page = new QWidget;
  ComboBox1 = MakeList({}, -1, "Порт:", "ComboBox1", page);
  ComboBox1->setMinimumContentsLength(24);
  ComboBox3 = MakeList(kSpeeds, kDefaultSpeed, "Cкорость:", "ComboBox3", page);
  Edit5 = MakeEdit("1", "Адрес:", "Edit5", page);
  Edit7 = MakeEdit(kDefaultAutoSaveName, "Имя файла для автосохранения :", "Edit7", page);
  Label5 = MakeLabel("Cкорость:", "Label5", ComboBox3, page);

  auto* form = new QFormLayout;
  form->addRow(MakeLabel("Порт:", {}, ComboBox1, page), ComboBox1);
  form->addRow(Label5, ComboBox3);
  form->addRow(MakeLabel("Адрес:", {}, Edit5, page), Edit5);
  form->addRow(MakeLabel("Имя файла для автосохранения :", {}, Edit7, page), Edit7);

  MonthCalendar1 = new QCalendarWidget(page);
  Name(MonthCalendar1, "Начало архива", "MonthCalendar1");
  MonthCalendar2 = new QCalendarWidget(page);
  Name(MonthCalendar2, "Конец архива", "MonthCalendar2");
  auto* calendars = new QGridLayout;
  calendars->addWidget(MakeLabel("Начало архива", {}, MonthCalendar1, page), 0, 0);
  calendars->addWidget(MakeLabel("Конец архива", {}, MonthCalendar2, page), 0, 1);
  calendars->addWidget(MonthCalendar1, 1, 0);
  calendars->addWidget(MonthCalendar2, 1, 1);

  Button1 = MakeButton("-------------    Старт    -------------", "Button1", page);
  Button2 = MakeButton("Стоп", "Button2", page);
  Button2->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addLayout(calendars);
  layout->addLayout(buttons);
  layout->addStretch();
  return page;
}

QWidget* TForm1::BuildExtraSettingsPage() {
  auto* page = new QWidget;
  ComboBox5 =
      MakeList({"нет", "нечет", "чёт"}, 0,
               "Бит паритета (проверка четности) в протоколе ModBus-Rtu", "ComboBox5", page);
  ComboBox4 = MakeList({"1 стоп-бит", "2 стоп-бита"}, 0,
                       "Количество стоп-битов в протоколе ModBus-Rtu", "ComboBox4", page);
  Edit4 = MakeEdit("3000", "Тайм-аут ожидания ответа, мс", "Edit4", page);
  Edit3 = MakeEdit("3", "Число попыток запросов при сбоях в связи", "Edit3", page);
  Edit6 = MakeEdit("64", "Длина запрашиваемых данных (количество регистров )", "Edit6", page);
  Label11 = MakeLabel(ComboBox5->accessibleName(), "Label11", ComboBox5, page);
  Label10 = MakeLabel(ComboBox4->accessibleName(), "Label10", ComboBox4, page);
  Label9 = MakeLabel(Edit4->accessibleName(), "Label9", Edit4, page);
  Label6 = MakeLabel(Edit3->accessibleName(), "Label6", Edit3, page);
  Label8 = MakeLabel(Edit6->accessibleName(), "Label8", Edit6, page);

  auto* form = new QFormLayout;
  form->addRow(Label11, ComboBox5);
  form->addRow(Label10, ComboBox4);
  form->addRow(Label9, Edit4);
  form->addRow(Label6, Edit3);
  form->addRow(Label8, Edit6);

  auto* type = new QGroupBox("Тип соединения :", page);
  type->setObjectName("GroupBox1");
  RadioButton1 = new QRadioButton("прямое", type);
  RadioButton2 = new QRadioButton("GSM", type);
  RadioButton3 = new QRadioButton("Dial-Up", type);
  RadioButton6 = new QRadioButton("TCP/IP", type);
  Name(RadioButton1, "прямое", "RadioButton1");
  Name(RadioButton2, "GSM", "RadioButton2");
  Name(RadioButton3, "Dial-Up", "RadioButton3");
  Name(RadioButton6, "TCP/IP", "RadioButton6");
  RadioButton1->setChecked(true);
  auto* radios = new QHBoxLayout(type);
  for (QRadioButton* radio : {RadioButton1, RadioButton2, RadioButton3, RadioButton6}) {
    radios->addWidget(radio);
  }
  radios->addStretch();

  // The network line: a converter or gateway at HOST:PORT.
  Edit8 = MakeEdit("", "адрес:порт", "Edit8", page);
  Edit8->setPlaceholderText("192.168.0.10:502");
  ComboBox2 = MakeList({"RTU поверх TCP", "Modbus TCP"}, 0, "протокол", "ComboBox2", page);
  Label12 = MakeLabel("адрес:порт", "Label12", Edit8, page);
  Label13 = MakeLabel("протокол", "Label13", ComboBox2, page);
  auto* network = new QFormLayout;
  network->addRow(Label12, Edit8);
  network->addRow(Label13, ComboBox2);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(type);
  layout->addLayout(network);
  layout->addStretch();
  return page;
}

QWidget* TForm1::BuildModemPage() {
  auto* page = new QWidget;
  Edit1 = MakeEdit("", "номер для дозвона", "Edit1", page);
  Edit2 = MakeEdit("AT&FE0V1", "строка инициализации местного модема", "Edit2", page);
  Edit2->setMaxLength(50);
  Edit2->setValidator(new UpperCase(Edit2));
  Label1 = MakeLabel("номер для дозвона", "Label1", Edit1, page);
  Label4 = MakeLabel("строка инициализации местного модема", "Label4", Edit2, page);

  GroupBox2 = new QGroupBox("режим набора номера", page);
  Name(GroupBox2, "режим набора номера", "GroupBox2");
  RadioButton4 = new QRadioButton("тоновый набор номера", GroupBox2);
  RadioButton5 = new QRadioButton("импульсный набор номера", GroupBox2);
  Name(RadioButton4, "тоновый набор номера", "RadioButton4");
  Name(RadioButton5, "импульсный набор номера", "RadioButton5");
  RadioButton4->setChecked(true);
  auto* dial = new QVBoxLayout(GroupBox2);
  dial->addWidget(RadioButton4);
  dial->addWidget(RadioButton5);

  Button3 = MakeButton("настройка удаленного модема", "Button3", page);
  Button3->setEnabled(false);

  auto* form = new QFormLayout;
  form->addRow(Label1, Edit1);
  form->addRow(Label4, Edit2);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(GroupBox2);
  layout->addWidget(Button3, 0, Qt::AlignLeft);
  layout->addStretch();
  for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label4, Edit1, Edit2, GroupBox2,
                                                    RadioButton4, RadioButton5}) {
    w->setEnabled(false);
  }
  return page;
}

QWidget* TForm1::BuildReportPage(ReportKind kind, const QString& download_name,
                                 const QString& save_name) {
  static const char* const kAreaNames[] = {"Memo1", "Memo5", "Memo4", "Memo6"};
  auto* page = new QWidget;
  QPlainTextEdit* area = MakeReportArea(kAreaNames[static_cast<int>(kind)], page);
  QPushButton* download = MakeButton("Скачать", download_name, page);
  download->setEnabled(false);
  QPushButton* save = MakeButton("Сохранить", save_name, page);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(download);
  buttons->addWidget(save);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(page);

  switch (kind) {
    case ReportKind::Current:
      Memo1 = area, Button4 = download, Button9 = save;
      layout->addWidget(area);
      break;
    case ReportKind::Hourly:
    case ReportKind::Daily:
    case ReportKind::Monthly: {
      // The archive pages: a chart may go under the table.
      auto* splitter = new QSplitter(Qt::Vertical, page);
      splitter->setObjectName(QString("Splitter") + kAreaNames[static_cast<int>(kind)]);
      splitter->addWidget(area);
      splitter->setChildrenCollapsible(false);
      layout->addWidget(splitter);
      if (kind == ReportKind::Hourly) Memo4 = area, Button5 = download, Button13 = save;
      if (kind == ReportKind::Daily) Memo5 = area, Button6 = download, Button14 = save;
      if (kind == ReportKind::Monthly) Memo6 = area, Button7 = download, Button15 = save;
      splitters_[static_cast<int>(kind) - 1] = splitter;
      break;
    }
    case ReportKind::Test:
      break;
  }
  layout->addLayout(buttons);
  return page;
}

QWidget* TForm1::BuildParameterPage() {
  auto* page = new QWidget;
  Button8 = MakeButton("Cчитать", "Button8", page);
  Button11 = MakeButton("Записать", "Button11", page);
  Button10 = MakeButton("Время ПК в прибор", "Button10", page);
  Button16 = MakeButton("Сохранить", "Button16", page);
  Button17 = MakeButton("Загрузить", "Button17", page);
  for (QPushButton* b : {Button8, Button11, Button10}) b->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button8, Button11, Button10}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(Button16);
  buttons->addWidget(Button17);
  auto* layout = new QVBoxLayout(page);
  // The grid RzStringGrid1 goes into this slot.
  parameter_grid_slot_ = new QVBoxLayout;
  layout->addLayout(parameter_grid_slot_, 1);
  layout->addLayout(buttons);
  return page;
}

QWidget* TForm1::BuildTestPage() {
  auto* page = new QWidget;
  Memo3 = new QPlainTextEdit(page);
  Memo3->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Name(Memo3, "Memo3", "Memo3");
  Button12 = MakeButton("старт", "Button12", page);
  Button12->setEnabled(false);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Memo3);
  layout->addWidget(Button12, 0, Qt::AlignLeft);
  return page;
}

void TForm1::BuildStatusBar() {
  StatusPanel1 = new QLabel(this);
  StatusPanel1->setFixedWidth(400);
  Name(StatusPanel1, "", "StatusBar1");
  StatusPanel2 = new QLabel(this);
  StatusPanel2->setFixedWidth(50);
  Progress = new QProgressBar(this);
  Progress->setObjectName("ProgressBar");
  Progress->setRange(0, 100);
  Progress->setMaximumWidth(160);
  Progress->hide();
  ButtonCancel = MakeButton("Прервать", "ButtonCancel", this);
  ButtonCancel->setEnabled(false);
  statusBar()->addWidget(StatusPanel1);
  statusBar()->addWidget(StatusPanel2);
  statusBar()->addWidget(Progress);
  statusBar()->addPermanentWidget(ButtonCancel);
}

void TForm1::BuildTraceDock() {
  TraceDock = new QDockWidget("Обмен с прибором", this);
  TraceDock->setObjectName("TraceDock");
  auto* body = new QWidget(TraceDock);
  Memo2 = new QPlainTextEdit(body);
  Memo2->setReadOnly(true);
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setFont(ReportFont());
  Name(Memo2, "Обмен с прибором", "Memo2");
  auto* save = MakeButton("Сохранить", "ButtonTraceSave", body);
  auto* clear = MakeButton("Очистить", "ButtonTraceClear", body);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save);
  buttons->addWidget(clear);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(body);
  layout->addWidget(Memo2);
  layout->addLayout(buttons);
  TraceDock->setWidget(body);
  addDockWidget(Qt::BottomDockWidgetArea, TraceDock);
  TraceDock->hide();
  connect(save, &QPushButton::clicked, this, [this] {
    trace_->Flush();
    SaveReportArea(Memo2);
  });
  connect(clear, &QPushButton::clicked, this, [this] { trace_->Clear(); });
}

void TForm1::BuildMenus() {
  QMenu* file = menuBar()->addMenu("Файл");
  file->addAction("Открыть папку отчётов", this, [this] {
    std::string folder;
    try {
      folder = MakeAutoSaveFolder(dispatcher_.ProgramFolder(), Edit7->text().toStdString());
    } catch (const std::exception& error) {
      ShowStatus(error.what());
      return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
  });
  file->addAction("Открыть temp.xls", this, [this] {
    const QString path = Q(dispatcher_.ProgramFolder()) + "/temp.xls";
    if (!QFile::exists(path)) {
      ShowStatus("Файл temp.xls ещё не создан: скачайте архив");
      return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  });
  file->addAction("Настройки по умолчанию", this, &TForm1::RestoreDefaults);
  file->addSeparator();
  file->addAction("Выход", this, &QWidget::close);
  QMenu* view = menuBar()->addMenu("Вид");
  QAction* trace = TraceDock->toggleViewAction();
  trace->setText("Обмен с прибором");
  view->addAction(trace);
}

// --- Creation and closing ---------------------------------------------------

void TForm1::FormCreate() {
  ComboBox1->clear();
  for (const std::string& entry : ListSerialPorts()) {
    // The entry is the port's name, a blank and its description.
    ComboBox1->addItem(Q(entry), Q(entry.substr(0, entry.find(' '))));
  }
  for (const std::string& port : options_.extra_ports) {
    ComboBox1->addItem(Q(port), Q(port));
  }
  if (options_.demo) ComboBox1->addItem("demo (имитатор прибора ФЛОВИР)", kDemoPortName);
  ComboBox1->setCurrentIndex(0);
  MonthCalendar1->setSelectedDate(QDate::currentDate());
  MonthCalendar2->setSelectedDate(QDate::currentDate());
  // The parameter table and its grid belong to the page "Параметры".
  if (!options_.folder.empty())
    dispatcher_.SetProgramFolder(flovir::ProgramFolder(options_.folder));
  save_name_ = Q(dispatcher_.ProgramFolder()) + "/";
}

void TForm1::closeEvent(QCloseEvent* event) {
  // FormClose: Stop first, so that a modem call is hung up.
  if (connection_->Connected()) Button2Click();
  SaveSettings();
  form3_->close();
  event->accept();
}

// --- Settings --------------------------------------------------------------

SettingsFields TForm1::FieldsFromControls() const {
  SettingsFields f;
  f.port_name = ComboBox1->currentData().toString().toStdString();
  f.type = RadioButton2->isChecked()   ? ConnectionType::Gsm
           : RadioButton3->isChecked() ? ConnectionType::DialUp
           : RadioButton6->isChecked() ? ConnectionType::TcpIp
                                       : ConnectionType::Direct;
  f.baud_index = ComboBox3->currentIndex();
  f.parity_index = ComboBox5->currentIndex();
  f.stop_bits_index = ComboBox4->currentIndex();
  f.number = Edit1->text().toStdString();
  f.init_string = Edit2->text().toStdString();
  f.dial_mode = RadioButton5->isChecked() ? DialMode::Pulse : DialMode::Tone;
  f.answer_timeout = Edit4->text().toStdString();
  f.address = Edit5->text().toStdString();
  f.attempts = Edit3->text().toStdString();
  f.chunk_size = Edit6->text().toStdString();
  f.auto_save_name = Edit7->text().toStdString();
  f.host = Edit8->text().trimmed().toStdString();
  f.framing = ComboBox2->currentIndex() == 1 ? WireFraming::ModbusTcp : WireFraming::Rtu;
  return f;
}

bool TForm1::ApplySettings() {
  SettingsResult parsed = ParseSettings(FieldsFromControls());
  if (!parsed.settings) {
    ShowStatus(parsed.error);
    return false;
  }
  dispatcher_.Settings() = std::move(*parsed.settings);
  return true;
}

std::unique_ptr<QSettings> TForm1::OpenSettings() const {
  if (options_.settings_file.isEmpty()) return std::make_unique<QSettings>("flovir", "flovir");
  return std::make_unique<QSettings>(options_.settings_file, QSettings::IniFormat);
}

void TForm1::LoadSettings() {
  const auto s = OpenSettings();
  auto text = [&](QLineEdit* edit, const char* key) {
    if (s->contains(key)) edit->setText(s->value(key).toString());
  };
  auto index = [&](QComboBox* list, const char* key) {
    const int i = list->findText(s->value(key).toString());
    if (i >= 0) list->setCurrentIndex(i);
  };
  // --port and --demo choose the port themselves.
  if (options_.extra_ports.empty() && !options_.demo) {
    const int i = ComboBox1->findData(s->value("port").toString());
    if (i >= 0) ComboBox1->setCurrentIndex(i);
  } else {
    ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
  }
  index(ComboBox3, "speed");
  index(ComboBox5, "parity");
  index(ComboBox4, "stop_bits");
  text(Edit5, "address");
  text(Edit7, "auto_save_name");
  text(Edit4, "timeout");
  text(Edit3, "attempts");
  text(Edit6, "chunk");
  text(Edit1, "number");
  text(Edit2, "init_string");
  text(Edit8, "host");
  index(ComboBox2, "framing");
  const QString type = s->value("connection_type").toString();
  (type == "GSM"       ? RadioButton2
   : type == "Dial-Up" ? RadioButton3
   : type == "TCP/IP"  ? RadioButton6
                       : RadioButton1)
      ->setChecked(true);
  (s->value("dial_mode").toString() == "pulse" ? RadioButton5 : RadioButton4)->setChecked(true);
  if (s->contains("window_size")) resize(s->value("window_size").toSize());
  RadioButton1Click();
}

void TForm1::SaveSettings() const {
  const auto s = OpenSettings();
  s->setValue("port", ComboBox1->currentData().toString());
  s->setValue("speed", ComboBox3->currentText());
  s->setValue("address", Edit5->text());
  s->setValue("auto_save_name", Edit7->text());
  s->setValue("parity", ComboBox5->currentText());
  s->setValue("stop_bits", ComboBox4->currentText());
  s->setValue("timeout", Edit4->text());
  s->setValue("attempts", Edit3->text());
  s->setValue("chunk", Edit6->text());
  s->setValue("connection_type", RadioButton2->isChecked()   ? "GSM"
                                 : RadioButton3->isChecked() ? "Dial-Up"
                                 : RadioButton6->isChecked() ? "TCP/IP"
                                                             : "прямое");
  s->setValue("number", Edit1->text());
  s->setValue("init_string", Edit2->text());
  s->setValue("dial_mode", RadioButton5->isChecked() ? "pulse" : "tone");
  s->setValue("host", Edit8->text());
  s->setValue("framing", ComboBox2->currentText());
  s->setValue("window_size", size());
}

void TForm1::RestoreDefaults() {
  if (!connection_->Connected()) {  // the line settings are frozen while connected
    ComboBox1->setCurrentIndex(0);
    ComboBox3->setCurrentIndex(kDefaultSpeed);
    ComboBox5->setCurrentIndex(0);
    ComboBox4->setCurrentIndex(0);
    Edit4->setText("3000");
    Edit8->clear();
    ComboBox2->setCurrentIndex(0);
    RadioButton1->setChecked(true);
  }
  Edit5->setText("1");
  Edit7->setText(kDefaultAutoSaveName);
  Edit3->setText("3");
  Edit6->setText("64");
  Edit1->clear();
  Edit2->setText("AT&FE0V1");
  RadioButton4->setChecked(true);
  resize(kDefaultSize);
  RadioButton1Click();
}

// --- Connection ------------------------------------------------------------

void TForm1::RadioButton1Click() {
  // A network line needs no modem, as the direct one.
  const bool modem = RadioButton2->isChecked() || RadioButton3->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label4, Edit1, Edit2}) {
    w->setEnabled(modem);
  }
  const bool dial_up = RadioButton3->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{GroupBox2, RadioButton4, RadioButton5}) {
    w->setEnabled(dial_up);
  }
  // The network fields, frozen while connected as the line settings are.
  const bool network = RadioButton6->isChecked() && !connection_->Connected();
  for (QWidget* w : std::initializer_list<QWidget*>{Label12, Edit8, Label13, ComboBox2}) {
    w->setEnabled(network);
  }
}

void TForm1::SetControlStates(bool after_start) {
  const bool connected = connection_->Connected();
  for (QWidget* w : std::initializer_list<QWidget*>{
           ComboBox1, Button1, RadioButton1, RadioButton2, RadioButton3, RadioButton6, Label5,
           Label9, Label10, Label11, ComboBox3, ComboBox4, ComboBox5, Edit4}) {
    w->setEnabled(!connected);
  }
  RadioButton1Click();
  for (QWidget* w : std::initializer_list<QWidget*>{Button2, Button4, Button5, Button6, Button7,
                                                    Button8, Button10, Button12}) {
    w->setEnabled(connected);
  }
  // The end of the first operation after Start enables "Записать".
  Button11->setEnabled(after_start ? false : connected);
  if (RadioButton1->isChecked() || RadioButton6->isChecked()) Button3->setEnabled(connected);
  ButtonCancel->setEnabled(connected && dispatcher_.Busy());
}

void TForm1::Button1Click() {
  const SettingsResult parsed = ParseSettings(FieldsFromControls());
  if (!parsed.settings) {  // nothing is opened; the status names the field
    ShowStatus(parsed.error);
    return;
  }
  Button1->setEnabled(false);
  ports_->SetDemoModem(parsed.settings->type == ConnectionType::Gsm ||
                       parsed.settings->type == ConnectionType::DialUp);
  connection_->Start(*parsed.settings);
  SetControlStates(true);
}

void TForm1::Button2Click() {
  connection_->Stop();
  SetControlStates(false);
  StopTestPoll();
}

void TForm1::Button3Click() {
  form3_->exec();
}

// --- Operations ------------------------------------------------------------

void TForm1::Button4Click() {
  if (ApplySettings()) dispatcher_.StartCurrentValues();
}

void TForm1::ArchiveClick(OperationKind kind) {
  if (!ApplySettings()) return;
  dispatcher_.StartArchive(kind, DateValue(MonthCalendar1->selectedDate()),
                           DateValue(MonthCalendar2->selectedDate()));
}

void TForm1::Button12Click() {
  if (Timer1->isActive()) {
    StopTestPoll();
  } else {
    Timer1->start();
    Button12->setText("Стоп");
    Button12->setAccessibleName("Стоп");
  }
}

void TForm1::StopTestPoll() {
  Timer1->stop();
  Button12->setText("Старт");
  Button12->setAccessibleName("Старт");
}

void TForm1::Timer1Timer() {
  // A tick that finds an operation running is lost.
  if (!dispatcher_.Busy() && ApplySettings()) dispatcher_.TestTick();
}

void TForm1::ButtonCancelClick() {
  dispatcher_.Cancel();
}

QString TForm1::ChooseFileWithDialog(QWidget* parent, const QString& proposed) {
  QFileDialog dialog(parent, "Сохранить");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter("текстовый файл (*.txt)");
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void TForm1::SaveReportArea(QPlainTextEdit* area) {
  const QString chosen =
      choose_file_ ? choose_file_(this, save_name_) : ChooseFileWithDialog(this, save_name_);
  if (chosen.isEmpty()) return;
  const std::string path = WithExtension(chosen.toStdString(), ".txt");
  save_name_ = Q(path);  // the next save through any button proposes it
  try {
    WriteReportFile(path, Lines(area->toPlainText()));
  } catch (const std::exception& error) {
    ShowMessage(kCaption, error.what(), MessageIcon::Error);
  }
}

// --- View ------------------------------------------------------------------

void TForm1::ShowStatus(const std::string& text) {
  const QString status = Q(text);
  StatusPanel1->setText(status);
  StatusPanel1->setAccessibleName(status);
  // "Выполнено...NN%" and "Поиск модема...NN%" drive the progress bar.
  static const QRegularExpression progress("^(Выполнено|Поиск модема)\\.\\.\\. ?(\\d+)%$");
  const QRegularExpressionMatch match = progress.match(status);
  if (match.hasMatch()) {
    Progress->setValue(match.captured(2).toInt());
    Progress->show();
  } else {
    Progress->hide();
  }
}

void TForm1::EnableOperationButtons(bool enabled, bool including_test_button) {
  for (QPushButton* b : {Button4, Button5, Button6, Button7, Button8, Button10, Button11}) {
    b->setEnabled(enabled);
  }
  if (enabled || including_test_button) Button12->setEnabled(enabled);
  ButtonCancel->setEnabled(!enabled);
  if (enabled) emit OperationEnded();
}

void TForm1::ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) {
  QString body = Q(text);
  body.replace('\r', '\n');
  if (message_sink_) {
    message_sink_(Q(title), body, icon);
    return;
  }
  const QMessageBox::Icon kind = icon == MessageIcon::Error         ? QMessageBox::Critical
                                 : icon == MessageIcon::Information ? QMessageBox::Information
                                                                    : QMessageBox::Warning;
  QMessageBox box(kind, Q(title), body, QMessageBox::Ok, this);
  box.exec();
}

QPlainTextEdit* TForm1::ReportArea(ReportKind kind) const {
  switch (kind) {
    case ReportKind::Current:
      return Memo1;
    case ReportKind::Daily:
      return Memo5;
    case ReportKind::Hourly:
      return Memo4;
    case ReportKind::Monthly:
      return Memo6;
    case ReportKind::Test:
      return Memo3;
  }
  return nullptr;
}

QSplitter* TForm1::ArchiveSplitter(ReportKind kind) const {
  const int i = static_cast<int>(kind) - 1;
  return i >= 0 && i < 3 ? splitters_[i] : nullptr;
}

void TForm1::SetReport(ReportKind kind, const std::vector<std::string>& lines) {
#ifdef FLOVIR_UI_CHARTS
  // The archive workbook holds the file the table has just been read from.
  charts_->ReportSet(kind, lines.empty(), dispatcher_.Archive().Workbook());
#endif
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 1;
  std::string text;
  text.reserve(bytes);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  // A document filled before it gets its layout takes half the time of
  // setPlainText on a long archive table (a year of hours is 8,800 lines).
  QPlainTextEdit* area = ReportArea(kind);
  auto* document = new QTextDocument(area);
  document->setDefaultFont(area->font());
  document->setUndoRedoEnabled(false);
  document->setPlainText(Q(text));
  document->setUndoRedoEnabled(true);
  document->setDocumentLayout(new QPlainTextDocumentLayout(document));
  // The area's first document belongs to it and goes with the replacement;
  // later ones are ours.
  QTextDocument* previous = area->document();
  const bool ours = previous->parent() == area;
  area->setDocument(document);
  if (ours) delete previous;
}

void TForm1::AppendTestLine(const std::string& line) {
  Memo3->appendPlainText(Q(line));
}

void TForm1::ProcessPendingEvents() {
  executor_->ProcessPendingEvents();
}

}  // namespace flovir::ui
