// webfind-setup: what the Windows installer runs after copying the files and
// before removing them. "webfind-setup install" puts its own folder on the
// system's PATH and admits the programs' datagrams in Windows' firewall;
// "webfind-setup uninstall" takes both away again, and the registry key
// of the announcer's options. Each step is tried
// whatever the others did; the status says whether all went.

#include <windows.h>
// The firewall's class and interface identifiers are defined here.
#include <initguid.h>
#include <netfw.h>

#include <cstdio>
#include <string>

#include "app/base/PathList.h"
#include "app/base/Utf8.h"
#include "tools/setup/Rules.h"

using namespace webfind;

namespace {

const wchar_t ENVIRONMENT[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

bool changePath(const std::string& folder, bool add) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ENVIRONMENT, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    std::wstring value(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t)), type = REG_EXPAND_SZ;
    if (RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes) != ERROR_SUCCESS)
        bytes = 0;
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    const std::string before = utf8FromWide(value);
    const std::string after = add ? withFolder(before, folder) : withoutFolder(before, folder);
    bool done = true;
    if (after != before) {
        const std::wstring written = wideFromUtf8(after);
        done = RegSetValueExW(key, L"Path", 0, type == REG_SZ ? REG_SZ : REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(written.c_str()),
                              static_cast<DWORD>((written.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        // Programs started from Explorer from now on see the new PATH.
        DWORD_PTR ignored;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                            SMTO_ABORTIFHUNG, 2000, &ignored);
    }
    RegCloseKey(key);
    return done;
}

// Windows' firewall through its COM interface: rules for all profiles,
// added and removed by name.
class WindowsFirewall : public Firewall {
public:
    WindowsFirewall() {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        initialised = true;
        if (SUCCEEDED(CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                       reinterpret_cast<void**>(&policy))))
            policy->get_Rules(&rules);
    }
    ~WindowsFirewall() override {
        if (rules) rules->Release();
        if (policy) policy->Release();
        if (initialised) CoUninitialize();
    }
    WindowsFirewall(const WindowsFirewall&) = delete;
    WindowsFirewall& operator=(const WindowsFirewall&) = delete;

    bool remove(const std::string& name) override {
        if (!rules) return false;
        BSTR text = SysAllocString(wideFromUtf8(name).c_str());
        const bool done = SUCCEEDED(rules->Remove(text));
        SysFreeString(text);
        return done;
    }
    bool add(const FirewallRule& r) override {
        if (!rules) return false;
        INetFwRule* rule = nullptr;
        BSTR name = SysAllocString(wideFromUtf8(r.name).c_str());
        BSTR program = SysAllocString(wideFromUtf8(r.program).c_str());
        BSTR ports = SysAllocString(std::to_wstring(r.port).c_str());
        BSTR description = SysAllocString(wideFromUtf8(r.description).c_str());
        const bool done =
            SUCCEEDED(CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                       reinterpret_cast<void**>(&rule))) &&
            SUCCEEDED(rule->put_Name(name)) && SUCCEEDED(rule->put_Description(description)) &&
            SUCCEEDED(rule->put_ApplicationName(program)) && SUCCEEDED(rule->put_Protocol(NET_FW_IP_PROTOCOL_UDP)) &&
            SUCCEEDED(rule->put_LocalPorts(ports)) && SUCCEEDED(rule->put_Direction(NET_FW_RULE_DIR_IN)) &&
            SUCCEEDED(rule->put_Action(NET_FW_ACTION_ALLOW)) && SUCCEEDED(rule->put_Profiles(NET_FW_PROFILE2_ALL)) &&
            SUCCEEDED(rule->put_Enabled(VARIANT_TRUE)) && SUCCEEDED(rules->Add(rule));
        if (rule) rule->Release();
        for (BSTR b : {name, program, ports, description}) SysFreeString(b);
        return done;
    }

private:
    bool initialised = false;
    INetFwPolicy2* policy = nullptr;
    INetFwRules* rules = nullptr;
};

// The folder this program was installed to, with the others.
std::string ownFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    return utf8FromWide(folder.substr(0, folder.find_last_of(L'\\')));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string step = argc == 2 ? argv[1] : "";
    if (step != "install" && step != "uninstall") {
        std::fprintf(stderr, "usage: webfind-setup install|uninstall (run by webfind's installer)\n");
        return 2;
    }
    const bool add = step == "install";
    const std::string folder = ownFolder();
    const bool path = changePath(folder, add);
    WindowsFirewall windows;
    const bool firewall = applyRules(windows, folder, add);
    // The installer removes its values but not the key that held them.
    if (!add) RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\webfind");
    if (!path) std::fprintf(stderr, "webfind-setup: could not change the system's PATH\n");
    if (!firewall) std::fprintf(stderr, "webfind-setup: could not change the firewall's rules\n");
    return path && firewall ? 0 : 1;
}
