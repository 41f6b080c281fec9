#include "link/exchange_request.h"

#include <cstdio>

namespace flovir {

const std::array<std::string_view, kStatusCount> StatusMessages = {
    "Завершено успешно",
    "Принятый код функции не может быть обработан на подчиненном",
    "Адрес данных указанный в запросе не доступен данному подчиненному",
    "Величина содержащаяся в поле данных запроса является не допустимой величиной для "
    "подчиненного",
    "Невосстанавливаемая ошибка имела место пока подчиненный пытался выполнить затребованное "
    "действие",
    "Подчиненный принял запрос и обрабатывает его, но это требует много времени",
    "Подчиненный занят обработкой команды",
    "Подчиненный не может выполнить программную функцию, принятую в запросе",
    "Подчиненный пытается читать расширенную память, но обнаружил ошибку паритета",
    "Отвечает прибор с другим адресом",
    "Неверная контрольная сумма",
    "Потеряны данные",
    "Превышен тайм-аут ожидания ответа",
    "Прервано пользователем",
    "Кол-во попыток запросов или длина пакета равны 0",
    "В процессе...",
    "Удалённый прибор не отвечает",
    "Ошибка при обмене с удалённым прибором",
    "Неподдерживаемая команда ModBus",
    // Our own: the port vanished under a request (LostPortText names it).
    "Порт потерян: устройство отключено или закрыто",
};

std::string_view StatusText(uint8_t status) {
  return status < kStatusCount ? StatusMessages[status]
                               : StatusMessages[kStatusRemoteExchangeError];
}

std::string LostPortText(const std::string& port_name) {
  if (port_name.empty()) return std::string(StatusMessages[kStatusPortLost]);
  return "Порт " + port_name + " потерян: устройство отключено или закрыто";
}

uint16_t ModbusCrc(const uint8_t* data, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = crc & 1;
      crc >>= 1;
      if (carry) crc ^= 0xA001;
    }
  }
  return crc;
}

void SwapWordsCopy(const uint8_t* source, uint8_t* destination, size_t count) {
  for (size_t i = 0; i + 1 < count; i += 2) {
    const uint8_t first = source[i];  // source and destination may be the same buffer
    destination[i] = source[i + 1];
    destination[i + 1] = first;
  }
}

std::string HexDump(const uint8_t* data, size_t count) {
  std::string text;
  text.reserve(count * 5 + 16);
  char byte[8];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, "0x%02X ", data[i]);
    text += byte;
  }
  text += "(" + std::to_string(count) + " байт)";
  return text;
}

}  // namespace flovir
