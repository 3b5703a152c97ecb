// `--headless --self-test NAME [ARG]`: built-in probes of the system's safety properties on the
// real machine. Each prints report fields ending in a verdict line and returns the process exit
// code.
#pragma once

#include "app/arguments.h"

namespace patcher::app {

int RunSelfTest(const Arguments& arguments);

// The probes, one per name. The dispatcher maps names to these.
int RunNoopSelfTest(const Arguments& arguments);
int RunHashAgreementSelfTest(const Arguments& arguments);
int RunAtomicInterruptSelfTest(const Arguments& arguments);
int RunAtomicInterruptChildSelfTest(const Arguments& arguments);
int RunVerifyMoveWindowSelfTest(const Arguments& arguments);
int RunOverwriteParallelSelfTest(const Arguments& arguments);
int RunInstallWritableSelfTest(const Arguments& arguments);
int RunDiskSpaceSelfTest(const Arguments& arguments);
int RunHttpSelfTest(const Arguments& arguments);
int RunSelfUpdateSelfTest(const Arguments& arguments);
int RunSelfUpdateApplySelfTest(const Arguments& arguments);
int RunSelfUpdateTamperSelfTest(const Arguments& arguments);
int RunSelfUpdateRollbackSelfTest(const Arguments& arguments);
int RunSelfUpdateWindowSelfTest(const Arguments& arguments);
int RunSelfUpdateWindowApplySelfTest(const Arguments& arguments);
int RunLaunchMissingSelfTest(const Arguments& arguments);
int RunKeyPipeSelfTest(const Arguments& arguments);
int RunKeyPipeServiceSelfTest(const Arguments& arguments);
int RunKeyPipeChildSelfTest(const Arguments& arguments);
int RunKeyFetchSelfTest(const Arguments& arguments);
int RunKeyAttachOwnershipSelfTest(const Arguments& arguments);

// The body of key-pipe (test keys) and key-pipe-service (the configured key service).
int RunKeyPipeRound(const Arguments& arguments, bool test_provider);

}  // namespace patcher::app
