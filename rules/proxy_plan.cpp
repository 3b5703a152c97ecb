#include "rules/proxy_plan.h"

namespace patcher::rules {

ProxyPlan PlanUserProxy(const UserProxySettings& settings) {
    ProxyPlan plan;
    plan.named = !settings.proxy.empty();
    plan.auto_config = settings.auto_detect || !settings.config_url.empty();
    std::string& text = plan.description;
    if (settings.auto_detect) text = "auto-detect";
    if (!settings.config_url.empty()) {
        text += (text.empty() ? "" : ", then ") + std::string("script ") + settings.config_url;
    }
    if (plan.auto_config) text += ", else ";
    if (plan.named) {
        text += "proxy " + settings.proxy;
        if (!settings.bypass.empty()) text += " (bypass " + settings.bypass + ")";
    } else {
        text += "the machine's WinHTTP setting";
    }
    return plan;
}

}  // namespace patcher::rules
