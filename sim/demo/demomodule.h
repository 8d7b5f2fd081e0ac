#ifndef DEMOMODULE_H
#define DEMOMODULE_H

// Plugs in the demo programs' simulated Control Module: configured, its log
// a few weeks deep and partly fetched before, answering at full USB speed.
void plugInDemoModule();

#endif
