#include "ui/service_watch.h"

namespace nimbard {

ServiceChange ServiceWatch::Update(ServiceState state) {
  if (state == ServiceState::Stopped && !stopped_) {
    stopped_ = true;
    return ServiceChange::StoppedAlert;
  }
  if (state == ServiceState::Running && stopped_) {
    stopped_ = false;
    return ServiceChange::Recovered;
  }
  return ServiceChange::None;
}

}  // namespace nimbard
