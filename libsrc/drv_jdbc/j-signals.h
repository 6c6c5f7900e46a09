// The Java VM's own signal handlers. The VM turns faults of its compiled
// code into Java behaviour (implicit null checks, safepoint polls, stack
// banging); a handler the application installs over one of them after the
// VM started receives those faults instead, and the process dies at the
// next one. The agent cannot prevent that, but it does no Java work once it
// has happened and tells how to run with the VM's signal chaining.
#ifndef QMR_DRV_JDBC_J_SIGNALS_H
#define QMR_DRV_JDBC_J_SIGNALS_H

#include <string>

// Notes the handlers the VM relies on as they are now; called right after
// the VM was created or joined (later calls change nothing). With the VM's
// chaining library in the process nothing is noted: a handler installed
// later is chained behind the VM's and does no harm.
void JC_NoteVmSignals();

// True while the noted handlers are still in place: every one of them, or
// SIGSEGV's alone (one sigaction query, no allocation, made at most once
// every few milliseconds). False with *why the diagnostic's text.
bool JC_VmSignalsIntact(std::string* why, bool everySignal);

#endif
