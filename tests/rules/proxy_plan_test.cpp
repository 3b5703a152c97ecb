#include "rules/proxy_plan.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(ProxyPlanTest, UserSettingsChooseTheSessionAndTheAutoConfiguration) {
    const struct {
        UserProxySettings settings;
        bool named, auto_config;
        const char* description;
    } cases[] = {
        {{}, false, false, "the machine's WinHTTP setting"},
        {{false, "", "10.0.0.1:3128", "<local>"},
         true,
         false,
         "proxy 10.0.0.1:3128 (bypass <local>)"},
        {{false, "", "http=p:80;https=p:443", ""}, true, false, "proxy http=p:80;https=p:443"},
        // A bypass list without a proxy bypasses nothing.
        {{false, "", "", "<local>"}, false, false, "the machine's WinHTTP setting"},
        {{true, "", "", ""}, false, true, "auto-detect, else the machine's WinHTTP setting"},
        {{false, "http://wpad/p.pac", "p:8080", ""},
         true,
         true,
         "script http://wpad/p.pac, else proxy p:8080"},
        {{true, "http://wpad/p.pac", "", ""},
         false,
         true,
         "auto-detect, then script http://wpad/p.pac, else the machine's WinHTTP setting"},
    };
    for (const auto& c : cases) {
        const ProxyPlan plan = PlanUserProxy(c.settings);
        EXPECT_EQ(plan.named, c.named) << c.description;
        EXPECT_EQ(plan.auto_config, c.auto_config) << c.description;
        EXPECT_EQ(plan.description, c.description);
    }
}

}  // namespace
}  // namespace patcher::rules
