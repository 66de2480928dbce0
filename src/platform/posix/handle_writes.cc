#include "platform/posix/handle_writes.h"

#include "platform/posix/host_object.h"

namespace tarvik {

void PutBackSetTimes(const HandleObject& object) {
  uint64_t access_time = object.kept_last_access.load();
  uint64_t write_time = object.kept_last_write.load();
  if (access_time == 0 && write_time == 0)
    return;
  const HostObject host{object.host_path, object.is_link || object.path_only ? -1 : object.fd};
  SetHostTimes(host, access_time != 0 ? &access_time : nullptr,
               write_time != 0 ? &write_time : nullptr);
}

void WroteThrough(HandleObject& object) {
  object.wrote = true;
  if (!object.write_time_recorded)
    PutBackSetTimes(object);
}

}  // namespace tarvik
