#include "rules/check_outcome.h"

namespace patcher::rules {

const char* CheckSourceName(CheckSource source) {
    switch (source) {
        case CheckSource::None:
            return "NONE";
        case CheckSource::Network:
            return "NETWORK";
        case CheckSource::Local:
            return "LOCAL";
    }
    return "UNKNOWN";
}

}  // namespace patcher::rules
