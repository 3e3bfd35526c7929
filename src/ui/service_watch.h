#pragma once
// The service's state as the monitor tray follows it from one refresh to the
// next: a stop is worth the warning icon and one balloon, a run after it the
// normal look again. States between (starting, stopping, unknown) and a
// service that is not installed change nothing of that.
#include "host/service_control.h"

namespace nimbard {

enum class ServiceChange { None, StoppedAlert, Recovered };

class ServiceWatch {
 public:
  ServiceChange Update(ServiceState state);
  bool stopped() const { return stopped_; }

 private:
  bool stopped_ = false;
};

}  // namespace nimbard
