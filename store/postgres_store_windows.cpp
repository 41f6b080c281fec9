// A build without libpq (the Windows build, or FLOVIR_WITH_POSTGRES=OFF):
// a server's URI is refused with the reason rather than taken for a file.

#include "store/server_store.h"

namespace flovir::history {

bool ServerStoresBuiltIn() {
  return false;
}

std::unique_ptr<HistoryStore> OpenServerStore(const std::string& uri) {
  throw HistoryError("История на сервере " + WithoutPassword(uri) +
                     " недоступна: эта сборка flovir без PostgreSQL; укажите файл истории");
}

}  // namespace flovir::history
