// Turns what the kernel reports about the thermal tree into the events the
// library listens to: participant instances created and deleted, and driver
// notification values set. Every source ends here, in one rescan-and-compare (Compare):
//
//   a netlink message of a zone or cooling device created or deleted, a trip
//   message of a zone the view does not list, any uevent of the watched
//   subsystems, a socket overrun, the periodic compare
//       -> the tree is read again and compared with the last view compared:
//          each zone that went away is an instance of the sensor information
//          class deleted, each new one an instance created (cooling devices:
//          the device class), named as the parameters view lists them (a
//          removal under the name the last view gave it, however many
//          refreshes happened since)
//   a trip crossed (up or down) or changed on zone N
//       -> the DriverNotify value of the zone's sensor index is set to 1, so
//          the notification thread reads it and the host re-reads the sensor
//          and its trips. A trip changes no folder: when the view lists zone
//          N, the tree is not read again, the current view is only compared
//          with the last one compared (whatever another rescan found is
//          raised first)
//   events lost (the socket overran)
//       -> a Warning to the report, and every zone's notification value set,
//          since any of them may have had a trip crossed
//
// An entry that keeps its number and folder but changes its name (its type,
// under the stable naming) is reported as removed and created.
//
// Thread-safe: the sources call it from their own threads; one compare runs
// at a time, and its events are raised in that order.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "Platform/Linux/Netlink/ThermalNetlinkEvent.h"
#include "Platform/PlatformEvents.h"

class CMemoryWmi;
class CSysfsThermalSnapshot;
class CSysfsThermalView;

class CKernelThermalBridge {
 public:
  // The view whose names and indexes the events are reported with (it holds
  // the notification values), and the namespace that reports instances
  // created and deleted.
  CKernelThermalBridge(std::shared_ptr<CSysfsThermalView> view, std::shared_ptr<CMemoryWmi> wmi);

  // Where warnings go (events lost); empty: nowhere.
  void SetReport(PlatformEventsReport report);
  // Takes the view as it is now as the last view compared, unless there is
  // one: what changes after this is reported.
  void Baseline();

  void Handle(const ThermalKernelEvent& event);
  // Reads the tree and raises the arrivals and removals since the last
  // compare.
  void Compare();

 private:
  // Raises what differs between the last view compared and the current one,
  // which becomes the last; mLock held.
  void RaiseChangesLocked();

  std::shared_ptr<CSysfsThermalView> mView;
  std::shared_ptr<CMemoryWmi> mWmi;
  std::mutex mLock;  // one compare at a time; guards the members below
  std::shared_ptr<const CSysfsThermalSnapshot> mLast;
  PlatformEventsReport mReport;
};
