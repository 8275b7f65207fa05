#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/Addresses.h"
#include "app/AppServices.h"
#include "app/PageBridge.h"
#include "app/WindowFitting.h"
#include "assessment/AssessmentResult.h"
#include "assessment/Services.h"

namespace tallyhive {

// Everything the main window works through; owned by the host, which outlives the window.
struct DialogServices {
    PageBridge& page;
    WindowHost& window;
    UserInterface& ui;
    const ProgramInfo& program;
    AssessmentServices assessment;
    Remeasurer& remeasurer;
    // "ja" or "en", asked afresh every time a message or address needs it.
    std::function<std::string()> uiLanguage;
};

// The program's only window: the record of the assessment shown, the service's time stamp, and the
// handlers the host calls for clicks and page arrivals. The host runs one handler at a time: a click
// or arrival that comes in while one runs waits until it has returned.
class CTallyhiveDlg {
public:
    static constexpr int kClickEvent = -600;
    static constexpr int kCancelResult = 2;

    CTallyhiveDlg(DialogServices services, std::string serviceRoot);
    CTallyhiveDlg(const CTallyhiveDlg&) = delete;
    CTallyhiveDlg& operator=(const CTallyhiveDlg&) = delete;

    // The window exists: centre it and show the agreement in the user's language.
    bool OnDialogCreated();

    // An event of the page at `pageAddress`, started on `source` (null when there is none). Only the
    // program's own pages and the service's reach the commands; true when the event was handled.
    bool OnPageEvent(int eventId, const PageElement* source, std::string_view pageAddress);
    bool OnPageClick(int eventId, std::string_view id, const PageElement* source);
    // True when the element is a link; links to the service open in the user's browser.
    bool HandleLinkClick(const PageElement* element);
    void OpenInDefaultBrowser(std::string_view url, bool escapeAmpersands);

    // A page has finished loading: version check on the start page, the service's time stamp and
    // the record on the result pages (only when they come from the service), fitting on every page.
    void OnPageArrived(std::string_view url);
    void FitWindowToPage();

    bool LoadLatestResult();
    RemeasureResult Remeasure();
    bool SubmitShare();
    std::string MakePassCode() const;

    // The display scale, read on first use and kept for the life of the window.
    DisplayScale Scale();
    std::string MessageCaption() const;
    const ServiceAddresses& Addresses() const { return m_addresses; }
    const CAssessmentResult& Record() const { return m_record; }
    const std::string& ServerDateTime() const { return m_serverDateTime; }

private:
    void CheckVersion();
    void ShowWarning(std::string_view text);
    bool IsTrusted(std::string_view url) const;

    DialogServices m_services;
    ServiceAddresses m_addresses;
    CAssessmentResult m_record;
    std::string m_serverDateTime;
    std::optional<DisplayScale> m_scale;
};

}  // namespace tallyhive
