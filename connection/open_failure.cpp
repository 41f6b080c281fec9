#include "connection/open_failure.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace flovir {

namespace {

// The group that owns the device, and whether the device lets it read and
// write; an empty name when it cannot be told.
struct Owner {
  std::string group;
  bool group_may_use = false;
  unsigned mode = 0;
};

Owner DeviceOwner(const std::string& path) {
  struct stat device {};
  if (::stat(path.c_str(), &device) != 0) return {};
  Owner owner;
  owner.mode = device.st_mode & 07777;
  owner.group_may_use = (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  owner.group =
      getgrgid_r(device.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found
          ? found->gr_name
          : std::to_string(device.st_gid);
  return owner;
}

}  // namespace

std::string OpenFailureText(const std::string& path, SystemPort::ErrorCode error) {
  switch (error) {
    case EACCES:
    case EPERM: {
      const Owner owner = DeviceOwner(path);
      std::string text = "нет прав на доступ к " + path;
      if (owner.group.empty()) return text;
      text += ": устройство принадлежит группе " + owner.group;
      // Serial adapters belong to the group dialout on Debian and its kin;
      // joining a group helps only where the group may use the device.
      if (owner.group_may_use && owner.group != "root") {
        return text + "; добавьте пользователя в эту группу (sudo usermod -a -G " + owner.group +
               " $USER) и войдите в систему заново";
      }
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", owner.mode);
      return text + ", но права " + mode +
             " не дают ей доступа; последовательные порты обычно открыты группе dialout: "
             "попросите администратора открыть доступ";
    }
    case EBUSY:
      return path + " занят другой программой: закройте её и повторите";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "устройства " + path +
             " нет: адаптер не подключён или порт назван неверно; flovir-cli ports перечисляет "
             "порты";
    default:
      return {};
  }
}

}  // namespace flovir
