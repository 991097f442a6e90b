// zelvane-monitor: the hardware monitor for Linux. Publishes the machine's
// sensor readings in the monitor's block until it is stopped
// (zelvane-monitor/monitor.h).
#include "zelvane-monitor/monitor.h"

int main(int argc, char** argv) { return zv::monitor::MonitorMain(argc, argv); }
