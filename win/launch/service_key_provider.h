// The key provider the launch installs when the caller brought none: it asks the key service and
// keeps away from it while the service's Retry-After window is open.
#pragma once

#include <memory>

#include "rules/key_fetch_outcome.h"
#include "win/launch/key_client.h"
#include "win/launch/key_provider.h"

namespace patcher::win {

// Every call leaves the latest outcome in `outcome`, which the launch report and the self-tests
// read. The copies of the provider share one back-off window. Calls must not overlap (the key
// channel serialises them).
KeyProvider MakeServiceKeyProvider(std::shared_ptr<const KeyClient> client,
                                   std::shared_ptr<rules::KeyFetchOutcome> outcome);

}  // namespace patcher::win
