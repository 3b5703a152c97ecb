// Which proxy the HTTPS client takes where WinHTTP cannot find the user's own by itself (before
// Windows 8.1 it has no automatic proxy and reads only the machine's `netsh winhttp` setting): the
// current user's Internet Options, which is where players and their networks set a proxy.
#pragma once

#include <string>

namespace patcher::rules {

// The user's settings as WinHttpGetIEProxyConfigForCurrentUser gives them, UTF-8; empty when unset.
struct UserProxySettings {
    bool auto_detect = false;  // WPAD
    std::string config_url;    // a PAC script
    std::string proxy;         // "host:port", or "scheme=host:port;..." per scheme
    std::string bypass;        // "<local>;*.example.com;..."
};

struct ProxyPlan {
    // The session goes through settings.proxy (with its bypass list); else through WinHTTP's
    // default, the machine's setting.
    bool named = false;
    // Each request first asks the auto-configuration (detection and/or the script) for its proxy;
    // when it finds none, the request takes the session's way. Internet Options works the same.
    bool auto_config = false;
    std::string description;  // for the support log
};

ProxyPlan PlanUserProxy(const UserProxySettings& settings);

}  // namespace patcher::rules
