#include "ui/settings_page.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDate>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "operations/line_tables.h"
#include "ui/widgets.h"
#include "workbook/serial_date.h"

namespace flovir::ui {

namespace {

// The initialisation string is typed in upper case only.
class UpperCase : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

// A number field takes digits and blanks only; a value out of its range may
// stand while it is being typed and is marked (see MarkNumberField).
class NumberValidator : public QValidator {
 public:
  NumberValidator(const NumberField& field, QObject* parent) : QValidator(parent), field_(field) {}
  State validate(QString& input, int&) const override {
    const QString bare = input.trimmed();
    for (int i = 0; i < bare.size(); ++i) {
      const QChar c = bare[i];
      if (!c.isDigit() && !(i == 0 && c == '+') && c != ' ' && c != '\t') return Invalid;
    }
    if (bare.size() > 11) return Invalid;
    const auto value = ParseDecimal(input.toStdString());
    return value && InRange(field_, *value) ? Acceptable : Intermediate;
  }

 private:
  NumberField field_;
};

// A field that cannot be used is pale red with the reason as its tooltip;
// a one-byte field given more than a byte is pale yellow with what the
// request will carry.
void MarkNumberField(QLineEdit* edit, const NumberField& field) {
  const std::string text = edit->text().trimmed().toStdString();
  const auto value = ParseDecimal(text);
  QString tip, colour;
  if (!value || !InRange(field, *value)) {
    tip = QString::fromStdString(FieldError(field, text));
    colour = "#ffd8d8";
  } else if (field.high == UINT32_MAX && *value > 255) {
    tip = QString("Значение %1 передаётся в запросе по модулю 256, то есть %2")
              .arg(*value)
              .arg(*value % 256);
    colour = "#fff6c0";
  }
  edit->setToolTip(tip);
  edit->setStyleSheet(colour.isEmpty() ? QString() : "QLineEdit { background: " + colour + "; }");
}

void CheckNumberField(QLineEdit* edit, const NumberField& field) {
  edit->setValidator(new NumberValidator(field, edit));
  QObject::connect(edit, &QLineEdit::textChanged, edit,
                   [edit, field] { MarkNumberField(edit, field); });
}

QStringList Speeds() {
  QStringList speeds;
  for (uint32_t baud : BaudTable) speeds << QString::number(baud);
  return speeds;
}

double DayOf(const QCalendarWidget* calendar) {
  const QDate date = calendar->selectedDate();
  return EncodeDate(date.year(), date.month(), date.day());
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string S(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

}  // namespace

SettingsPage::SettingsPage(QWidget* parent) : QTabWidget(parent) {
  addTab(BuildMainPage(), "Основные");
  addTab(BuildLinePage(), "Дополнительные");
  addTab(BuildModemPage(), "GSM");
  for (QRadioButton* radio : types_) {
    connect(radio, &QRadioButton::toggled, this, &SettingsPage::UpdateTypeFields);
  }
  connect(start_, &QPushButton::clicked, this, [this] {
    start_->setEnabled(false);  // no second Start while the line opens
    emit startRequested();
  });
  connect(stop_, &QPushButton::clicked, this, &SettingsPage::stopRequested);
  connect(remote_modem_, &QPushButton::clicked, this, &SettingsPage::remoteModemRequested);
  connect(search_, &QPushButton::clicked, this, [this] {
    if (searching_) {
      emit searchCancelled();
    } else {
      emit searchRequested();
    }
  });
  connect(tune_, &QPushButton::clicked, this, &SettingsPage::tuneRequested);
  // Tab goes through each page as it is laid out ("Подобрать тайм-аут"
  // beside its field, not after the last one).
  for (int i = 0; i < count(); ++i) FollowLayout(widget(i));
  SetFields(SettingsFields{});
  first_->setSelectedDate(QDate::currentDate());
  last_->setSelectedDate(QDate::currentDate());
}

QWidget* SettingsPage::BuildMainPage() {
  auto* page = new QWidget;
  port_ = MakeList({}, "Порт:", "ComboBox1", page);
  port_->setMinimumContentsLength(24);
  speed_ = MakeList(Speeds(), "Cкорость:", "ComboBox3", page);
  address_ = MakeEdit("", "Адрес:", "Edit5", page);
  CheckNumberField(address_, kAddressField);
  auto_save_ = MakeEdit("", "Имя файла для автосохранения :", "Edit7", page);
  meter_name_ = MakeEdit("", "Имя прибора", "EditMeterName", page);
  meter_name_->setPlaceholderText("по линии, порту и адресу");
  QLabel* speed_label = MakeLabel("Cкорость:", "Label5", speed_, page);

  auto* form = new QFormLayout;
  form->addRow(MakeLabel("Порт:", {}, port_, page), port_);
  form->addRow(speed_label, speed_);
  form->addRow(MakeLabel("Адрес:", {}, address_, page), address_);
  form->addRow(MakeLabel(auto_save_->accessibleName(), {}, auto_save_, page), auto_save_);
  form->addRow(MakeLabel("Имя прибора", {}, meter_name_, page), meter_name_);

  first_ = new QCalendarWidget(page);
  Name(first_, "Начало архива", "MonthCalendar1");
  last_ = new QCalendarWidget(page);
  Name(last_, "Конец архива", "MonthCalendar2");
  auto* calendars = new QGridLayout;
  calendars->addWidget(MakeLabel("Начало архива", {}, first_, page), 0, 0);
  calendars->addWidget(MakeLabel("Конец архива", {}, last_, page), 0, 1);
  calendars->addWidget(first_, 1, 0);
  calendars->addWidget(last_, 1, 1);

  start_ = MakeButton("-------------    &Старт    -------------", "Button1", page);
  stop_ = MakeButton("С&топ", "Button2", page);
  stop_->setEnabled(false);
  search_ = MakeButton(kSearchCaption, "ButtonSearch", page);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addWidget(search_);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addLayout(calendars);
  layout->addLayout(buttons);
  layout->addStretch();
  line_fields_ << port_ << start_ << speed_label << speed_ << search_;
  return page;
}

QWidget* SettingsPage::BuildLinePage() {
  auto* page = new QWidget;
  parity_ = MakeList(Captions(kParityWords),
                     "Бит паритета (проверка четности) в протоколе ModBus-Rtu", "ComboBox5", page);
  stop_bits_ = MakeList(Captions(kStopBitsWords), "Количество стоп-битов в протоколе ModBus-Rtu",
                        "ComboBox4", page);
  timeout_ = MakeEdit("", kAnswerTimeoutField.label, "Edit4", page);
  attempts_ = MakeEdit("", kAttemptsField.label, "Edit3", page);
  chunk_ = MakeEdit("", kChunkSizeField.label, "Edit6", page);
  CheckNumberField(timeout_, kAnswerTimeoutField);
  CheckNumberField(attempts_, kAttemptsField);
  CheckNumberField(chunk_, kChunkSizeField);
  QLabel* parity_label = MakeLabel(parity_->accessibleName(), "Label11", parity_, page);
  QLabel* stop_bits_label = MakeLabel(stop_bits_->accessibleName(), "Label10", stop_bits_, page);
  QLabel* timeout_label = MakeLabel(timeout_->accessibleName(), "Label9", timeout_, page);

  auto* form = new QFormLayout;
  form->addRow(parity_label, parity_);
  form->addRow(stop_bits_label, stop_bits_);
  tune_ = MakeButton("Подобрать &тайм-аут", "ButtonTune", page);
  tune_->setEnabled(false);  // it measures the line of a connection
  auto* timeout_row = new QHBoxLayout;
  timeout_row->addWidget(timeout_);
  timeout_row->addWidget(tune_);
  form->addRow(timeout_label, timeout_row);
  form->addRow(MakeLabel(attempts_->accessibleName(), "Label6", attempts_, page), attempts_);
  form->addRow(MakeLabel(chunk_->accessibleName(), "Label8", chunk_, page), chunk_);

  auto* type = new QGroupBox("Тип соединения :", page);
  type->setObjectName("GroupBox1");
  const char* const names[] = {"RadioButton1", "RadioButton2", "RadioButton3", "RadioButton6"};
  auto* radios = new QHBoxLayout(type);
  const QStringList captions = Captions(kConnectionTypeWords);
  for (int i = 0; i < 4; ++i) {
    types_[i] = new QRadioButton(captions[i], type);
    Name(types_[i], captions[i], names[i]);
    radios->addWidget(types_[i]);
    line_fields_ << types_[i];
  }
  radios->addStretch();

  // The network line: a converter or gateway at HOST:PORT.
  host_ = MakeEdit("", "адрес:порт", "Edit8", page);
  host_->setPlaceholderText("192.168.0.10:502");
  framing_ = MakeList(Captions(kFramingWords), "протокол", "ComboBox2", page);
  auto* network = new QFormLayout;
  QLabel* host_label = MakeLabel("адрес:порт", "Label12", host_, page);
  QLabel* framing_label = MakeLabel("протокол", "Label13", framing_, page);
  network->addRow(host_label, host_);
  network->addRow(framing_label, framing_);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(type);
  layout->addLayout(network);
  layout->addStretch();
  line_fields_ << parity_label << parity_ << stop_bits_label << stop_bits_ << timeout_label
               << timeout_;
  network_fields_ << host_label << host_ << framing_label << framing_;
  return page;
}

QWidget* SettingsPage::BuildModemPage() {
  auto* page = new QWidget;
  number_ = MakeEdit("", kNumberLabel, "Edit1", page);
  init_string_ = MakeEdit("", "строка инициализации местного модема", "Edit2", page);
  init_string_->setMaxLength(50);
  init_string_->setValidator(new UpperCase(init_string_));
  QLabel* number_label = MakeLabel(number_->accessibleName(), "Label1", number_, page);
  QLabel* init_label = MakeLabel(init_string_->accessibleName(), "Label4", init_string_, page);

  dial_mode_ = new QGroupBox("режим набора номера", page);
  Name(dial_mode_, "режим набора номера", "GroupBox2");
  tone_ = new QRadioButton("тоновый набор номера", dial_mode_);
  pulse_ = new QRadioButton("импульсный набор номера", dial_mode_);
  Name(tone_, tone_->text(), "RadioButton4");
  Name(pulse_, pulse_->text(), "RadioButton5");
  auto* dial = new QVBoxLayout(dial_mode_);
  dial->addWidget(tone_);
  dial->addWidget(pulse_);

  remote_modem_ = MakeButton("настройка &удаленного модема", "Button3", page);
  remote_modem_->setEnabled(false);

  auto* form = new QFormLayout;
  form->addRow(number_label, number_);
  form->addRow(init_label, init_string_);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(dial_mode_);
  layout->addWidget(remote_modem_, 0, Qt::AlignLeft);
  layout->addStretch();
  modem_fields_ << number_label << init_label << number_ << init_string_;
  return page;
}

void SettingsPage::AddPort(const QString& text, const QString& name) {
  port_->addItem(text, name);
}

int SettingsPage::PortCount() const {
  return port_->count();
}

QString SettingsPage::PortName(int index) const {
  return port_->itemData(index).toString();
}

ConnectionType SettingsPage::Type() const {
  for (int i = 0; i < 4; ++i) {
    if (types_[i]->isChecked()) return kConnectionTypeWords[size_t(i)].value;
  }
  return ConnectionType::Direct;
}

QRadioButton* SettingsPage::TypeRadio(ConnectionType type) const {
  return types_[std::max(0, IndexOfValue(kConnectionTypeWords, type))];
}

bool SettingsPage::FocusBadField() {
  const SettingsFields f = Fields();
  const bool dials = f.type == ConnectionType::Gsm || f.type == ConnectionType::DialUp;
  const std::pair<QLineEdit*, bool> checks[] = {
      {address_, !ParseDecimal(f.address) || !InRange(kAddressField, *ParseDecimal(f.address))},
      {attempts_, !ParseDecimal(f.attempts)},
      {chunk_, !ParseDecimal(f.chunk_size)},
      {timeout_, !ParseDecimal(f.answer_timeout) ||
                     !InRange(kAnswerTimeoutField, *ParseDecimal(f.answer_timeout))},
      {number_, dials && f.number.empty()},
  };
  for (const auto& [edit, bad] : checks) {
    if (!bad) continue;
    for (int i = 0; i < count(); ++i) {
      if (widget(i)->isAncestorOf(edit)) setCurrentIndex(i);
    }
    edit->setFocus();
    edit->selectAll();
    return true;
  }
  return false;
}

SettingsFields SettingsPage::Fields() const {
  SettingsFields f;
  f.port_name = port_->currentData().toString().toStdString();
  f.type = Type();
  f.baud_index = speed_->currentIndex();
  f.parity_index = parity_->currentIndex();
  f.stop_bits_index = stop_bits_->currentIndex();
  f.number = S(number_);
  f.init_string = S(init_string_);
  f.dial_mode = pulse_->isChecked() ? DialMode::Pulse : DialMode::Tone;
  f.answer_timeout = S(timeout_);
  f.address = S(address_);
  f.attempts = S(attempts_);
  f.chunk_size = S(chunk_);
  f.auto_save_name = S(auto_save_);
  f.meter_name = meter_name_->text().trimmed().toStdString();
  f.host = host_->text().trimmed().toStdString();
  f.framing = kFramingWords[size_t(std::max(0, framing_->currentIndex()))].value;
  return f;
}

void SettingsPage::SetFields(const SettingsFields& f, bool line_too) {
  if (line_too) {
    const int port = port_->findData(Q(f.port_name));
    port_->setCurrentIndex(port >= 0 ? port : 0);
    TypeRadio(f.type)->setChecked(true);
    speed_->setCurrentIndex(f.baud_index);
    parity_->setCurrentIndex(f.parity_index);
    stop_bits_->setCurrentIndex(f.stop_bits_index);
    timeout_->setText(Q(f.answer_timeout));
    host_->setText(Q(f.host));
    framing_->setCurrentIndex(IndexOfValue(kFramingWords, f.framing));
  }
  address_->setText(Q(f.address));
  auto_save_->setText(Q(f.auto_save_name));
  meter_name_->setText(Q(f.meter_name));
  attempts_->setText(Q(f.attempts));
  chunk_->setText(Q(f.chunk_size));
  number_->setText(Q(f.number));
  init_string_->setText(Q(f.init_string));
  (f.dial_mode == DialMode::Pulse ? pulse_ : tone_)->setChecked(true);
  UpdateTypeFields();
}

double SettingsPage::FirstDay() const {
  return DayOf(first_);
}

double SettingsPage::LastDay() const {
  return DayOf(last_);
}

void SettingsPage::SetConnected(bool connected) {
  connected_ = connected;
  for (QWidget* w : line_fields_) w->setEnabled(!connected);
  stop_->setEnabled(connected);
  // The remote modem is cabled to the port of a direct line or converter.
  const ConnectionType type = Type();
  if (type == ConnectionType::Direct || type == ConnectionType::TcpIp) {
    remote_modem_->setEnabled(connected);
  }
  UpdateTypeFields();
}

void SettingsPage::UpdateTypeFields() {
  const ConnectionType type = Type();
  // A network line needs no modem, as the direct one.
  const bool modem = type == ConnectionType::Gsm || type == ConnectionType::DialUp;
  for (QWidget* w : modem_fields_) w->setEnabled(modem);
  const bool dial_up = type == ConnectionType::DialUp;
  for (QWidget* w : {static_cast<QWidget*>(dial_mode_), static_cast<QWidget*>(tone_),
                     static_cast<QWidget*>(pulse_)}) {
    w->setEnabled(dial_up);
  }
  const bool network = type == ConnectionType::TcpIp && !connected_;
  for (QWidget* w : network_fields_) w->setEnabled(network);
}

void SettingsPage::SetSearching(bool searching) {
  searching_ = searching;
  search_->setText(searching ? kStopSearchCaption : kSearchCaption);
  search_->setAccessibleName(WithoutMnemonic(search_->text()));
  // The line belongs to the search meanwhile.
  start_->setEnabled(!searching && !connected_);
}

void SettingsPage::SetTuneEnabled(bool enabled) {
  tune_->setEnabled(enabled);
}

}  // namespace flovir::ui
