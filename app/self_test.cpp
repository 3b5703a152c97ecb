#include "app/self_test.h"

#include "app/console_report.h"

namespace patcher::app {
namespace {

struct SelfTestEntry {
    const wchar_t* name;
    int (*run)(const Arguments& arguments);
};

constexpr SelfTestEntry kSelfTests[] = {
    {L"noop", RunNoopSelfTest},
    {L"hash-agreement", RunHashAgreementSelfTest},
    {L"atomic-interrupt", RunAtomicInterruptSelfTest},
    {L"atomic-interrupt-child", RunAtomicInterruptChildSelfTest},
    {L"verify-move-window", RunVerifyMoveWindowSelfTest},
    {L"overwrite-parallel", RunOverwriteParallelSelfTest},
    {L"install-writable", RunInstallWritableSelfTest},
    {L"disk-space", RunDiskSpaceSelfTest},
    {L"http", RunHttpSelfTest},
    {L"self-update", RunSelfUpdateSelfTest},
    {L"self-update-apply", RunSelfUpdateApplySelfTest},
    {L"self-update-tamper", RunSelfUpdateTamperSelfTest},
    {L"self-update-rollback", RunSelfUpdateRollbackSelfTest},
    {L"self-update-window", RunSelfUpdateWindowSelfTest},
    {L"self-update-window-apply", RunSelfUpdateWindowApplySelfTest},
    {L"launch-missing", RunLaunchMissingSelfTest},
    {L"key-pipe", RunKeyPipeSelfTest},
    {L"key-pipe-service", RunKeyPipeServiceSelfTest},
    {L"key-pipe-child", RunKeyPipeChildSelfTest},
    {L"key-fetch", RunKeyFetchSelfTest},
    {L"key-attach-ownership", RunKeyAttachOwnershipSelfTest},
};

}  // namespace

int RunSelfTest(const Arguments& arguments) {
    for (const SelfTestEntry& entry : kSelfTests) {
        if (arguments.self_test_name == entry.name) return entry.run(arguments);
    }
    PrintField(L"SELF_TEST", L"UNKNOWN: " + arguments.self_test_name);
    return 1;
}

int RunNoopSelfTest(const Arguments&) {
    PrintField(L"NOOP", L"OK");
    return 0;
}

}  // namespace patcher::app
