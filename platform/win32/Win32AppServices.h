#pragma once
#include <windows.h>

#include <string>

#include "app/AppServices.h"

namespace tallyhive {

class Win32UserInterface final : public UserInterface {
public:
    void SetOwner(HWND owner) { m_owner = owner; }
    MessageAnswer ShowMessage(std::string_view caption, std::string_view text, MessageKind kind) override;
    void OpenUrl(std::string_view url) override;

private:
    HWND m_owner = nullptr;
};

class Win32ProgramInfo final : public ProgramInfo {
public:
    std::string ProgramPath() const override;
    // The browser reports the program's pages with the path encoded, in a letter case of its own.
    bool IsBuiltInPage(std::string_view url, int number) const override;
    std::string ProductVersion() const override;
};

// ProductVersion of the "000004b0" string table of a file's version resource; empty when unreadable.
std::string ProductVersionOf(const std::string& path);

}  // namespace tallyhive
