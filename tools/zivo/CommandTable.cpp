#include "Commands.h"

// One declaration and one table row per command; each lives in its own file.

int RunDemo(const ZivoArgs& args);
int RunList(const ZivoArgs& args);
int RunAddDevice(const ZivoArgs& args);
int RunAddSensor(const ZivoArgs& args);
int RunRemoveDevice(const ZivoArgs& args);
int RunRemoveSensor(const ZivoArgs& args);
int RunConfigCheck(const ZivoArgs& args);
int RunStatusCodes(const ZivoArgs& args);
int RunWatch(const ZivoArgs& args);
int RunRun(const ZivoArgs& args);
int RunRestore(const ZivoArgs& args);
int RunReport(const ZivoArgs& args);

const std::vector<ZivoCommand>& ZivoCommands() {
  static const std::vector<ZivoCommand> commands = {
      {"demo", "walk through what a host sees on the simulated handheld", RunDemo},
      {"list", "list the participants with their records and links", RunList},
      {"add-device", "add a device at run time and show its links", RunAddDevice},
      {"add-sensor", "add a sensor at run time and show its links", RunAddSensor},
      {"remove-device", "remove a device and show the links taken apart", RunRemoveDevice},
      {"remove-sensor", "remove a sensor and show the links taken apart", RunRemoveSensor},
      {"watch", "print the events a listener receives as they arrive", RunWatch},
      {"run", "apply the thermal policy as a daemon (a dry run unless --apply)", RunRun},
      {"restore", "put back the devices a zivo run --apply left changed", RunRestore},
      {"report", "draw the record of a run as one HTML page (or CSV)", RunReport},
      {"config check", "check a thermal policy file before deploying it", RunConfigCheck},
      {"status-codes", "what the library's status codes mean", RunStatusCodes},
  };
  return commands;
}
