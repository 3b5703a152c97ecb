// The headless front end: one command, a "KEY: value" report on standard output, an exit code.
#pragma once

#include "app/arguments.h"

namespace patcher::app {

int RunHeadless(const rules::ArgumentList& arguments, bool single_instance);

// Child self-tests run beside another patcher: they are started by other self-tests.
bool MayRunBesideAnotherInstance(const Arguments& parsed);

}  // namespace patcher::app
