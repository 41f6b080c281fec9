#include <windows.h>

#include "connection/open_failure.h"

namespace flovir {

std::string OpenFailureText(const std::string& path, SystemPort::ErrorCode error) {
  switch (error) {
    // A comm port opens for one program at a time: access denied means
    // another one has it.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return path + " занят другой программой: закройте её и повторите";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      return "порта " + path +
             " нет: адаптер не подключён или порт назван неверно; flovir-cli ports перечисляет "
             "порты";
    default:
      return {};
  }
}

}  // namespace flovir
