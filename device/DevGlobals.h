#ifndef DEVGLOBALS_H
#define DEVGLOBALS_H
// The three device objects every subsystem reaches.

class DevSupport;
class DevBase;
class DevInit;

extern DevSupport* devSupport;
extern DevBase* devUsing;
extern DevInit* devInit;

#endif
