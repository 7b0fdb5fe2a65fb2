#include "platform/win32/interface_table_win32.h"

#include <windows.h>

#include <string>

#include "base/error.h"

namespace tovi::platform {
namespace {

// A library loaded for the life of its owner.
class Library {
public:
    explicit Library(const wchar_t* fileName) {
        // Only the system folder's copy: never one planted beside the program.
        wchar_t folder[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        std::wstring path(folder, length);
        path += L'\\';
        path += fileName;
        module_ = ::LoadLibraryW(path.c_str());
    }
    ~Library() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    FARPROC find(const char* name) const { return module_ == nullptr ? nullptr : ::GetProcAddress(module_, name); }

private:
    HMODULE module_ = nullptr;
};

// DWORD GetIfTable(PMIB_IFTABLE pIfTable, PULONG pdwSize, BOOL bOrder)
using GetIfTableFunction = DWORD(WINAPI*)(void* table, ULONG* size, BOOL order);

class Win32InterfaceTable final : public InterfaceTable {
public:
    Win32InterfaceTable()
        : iphlpapi_(L"iphlpapi.dll"),
          getIfTable_(
              reinterpret_cast<GetIfTableFunction>(reinterpret_cast<void (*)()>(iphlpapi_.find("GetIfTable")))) {}

    std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool order) override {
        if (getIfTable_ == nullptr) throw Error("GetIfTable of iphlpapi is not available");
        ULONG bytes = *size;
        const DWORD result = getIfTable_(table, &bytes, order ? TRUE : FALSE);
        *size = bytes;
        return result;
    }

    double bootTime() override {
        const ULONGLONG sinceBoot = ::GetTickCount64();  // milliseconds
        FILETIME utc, local;
        ::GetSystemTimeAsFileTime(&utc);
        if (!::FileTimeToLocalFileTime(&utc, &local)) throw Error("local time unknown");
        const ULONGLONG now = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
        // FILETIME counts 100 ns from 1 January 1601, day -109205 of the date-time scale.
        constexpr double kTicksPerDay = 864e9;
        constexpr double kFileTimeEpochDay = -109205.0;
        constexpr double kMillisecondsPerDay = 864e5;
        return kFileTimeEpochDay + static_cast<double>(now) / kTicksPerDay -
               static_cast<double>(sinceBoot) / kMillisecondsPerDay;
    }

private:
    Library iphlpapi_;
    GetIfTableFunction getIfTable_;
};

}  // namespace

std::unique_ptr<InterfaceTable> makeInterfaceTable() { return std::make_unique<Win32InterfaceTable>(); }

}  // namespace tovi::platform
