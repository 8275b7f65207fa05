#include "app/TallyhiveDlg.h"

#include <algorithm>
#include <utility>

#include "app/Messages.h"
#include "app/VersionCheck.h"
#include "assessment/Loading.h"
#include "base/Text.h"
#include "presentation/ResultPage.h"
#include "share/PassCode.h"
#include "share/ShareForm.h"

namespace tallyhive {

namespace {

std::string EscapeAmpersands(std::string_view url) {
    std::string out;
    out.reserve(url.size());
    for (const char c : url) {
        if (c == '&') {
            out += "%26";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

CTallyhiveDlg::CTallyhiveDlg(DialogServices services, std::string serviceRoot)
    : m_services(std::move(services)),
      m_addresses(std::move(serviceRoot)),
      m_record(m_services.assessment.time) {}

bool CTallyhiveDlg::OnDialogCreated() {
    m_services.window.CenterWindow();
    m_services.page.LoadBuiltInPage(m_services.uiLanguage() == "ja" ? kAgreementJapanese : kAgreementEnglish);
    return true;
}

bool CTallyhiveDlg::IsTrusted(std::string_view url) const {
    return IsTrustedPage(url, m_addresses.ServiceRoot(), [this](std::string_view address, int number) {
        return m_services.program.IsBuiltInPage(address, number);
    });
}

bool CTallyhiveDlg::OnPageEvent(int eventId, const PageElement* source, std::string_view pageAddress) {
    if (source == nullptr) return false;
    // A page from anywhere else that got into the window (a link the browser followed) must not
    // start a measurement, send the hardware or open pages through this program.
    if (!IsTrusted(pageAddress)) return false;
    return OnPageClick(eventId, source->Id(), source);
}

bool CTallyhiveDlg::OnPageClick(int eventId, std::string_view id, const PageElement* source) {
    if (eventId != kClickEvent) return false;
    if (HandleLinkClick(source)) return true;
    if (source != nullptr) {
        const std::unique_ptr<PageElement> parent = source->Parent();
        if (parent && HandleLinkClick(parent.get())) return true;
    }

    PageBridge& page = m_services.page;
    if (id == "agree") {
        page.NavigateTo(m_addresses.StartPage(m_services.uiLanguage()));
    } else if (id == "not_agree") {
        m_services.window.Close(kCancelResult);
    } else if (id == "start_analyze") {
        switch (Remeasure()) {
            case RemeasureResult::Loaded:
                break;
            case RemeasureResult::Failed:
                ShowWarning(RemeasureFailureMessage(m_services.uiLanguage()));
                break;
            case RemeasureResult::StillRunning:
                ShowWarning(RemeasureStillRunningMessage(m_services.uiLanguage()));
                break;
        }
    } else if (id == "load_lastest_result") {
        if (!LoadLatestResult()) ShowWarning(LoadFailureMessage(m_services.uiLanguage()));
    } else if (id == "share") {
        SubmitShare();
    } else if (id == "reload") {
        page.ReloadPage();
    } else if (id == "open_page") {
        std::string shareId;
        if (page.QueryElementProperty("open_page", "name", shareId) ||
            page.QueryElementProperty("open_page", "value", shareId)) {
            OpenInDefaultBrowser(m_addresses.SharePage(shareId, m_services.uiLanguage()), false);
        }
    } else if (id == "home") {
        page.NavigateTo(m_addresses.HomePage());
    }
    return true;
}

bool CTallyhiveDlg::HandleLinkClick(const PageElement* element) {
    if (element == nullptr) return false;
    if (!EqualsIgnoringAsciiCase(element->TagName(), "a")) return false;
    std::string href;
    // A link whose address cannot be read still counts as a link: nothing opens, no command runs.
    if (!m_services.page.QueryObjectProperty(element, "href", href)) return true;
    if (href.starts_with(m_addresses.ServiceRoot())) OpenInDefaultBrowser(href, true);
    return true;
}

void CTallyhiveDlg::OpenInDefaultBrowser(std::string_view url, bool escapeAmpersands) {
    m_services.ui.OpenUrl(escapeAmpersands ? EscapeAmpersands(url) : std::string(url));
}

void CTallyhiveDlg::OnPageArrived(std::string_view url) {
    if (url.find("start.php") != std::string_view::npos) CheckVersion();
    const bool resultPage = url.find("result_20.php") != std::string_view::npos ||
                            url.find("result_profile_20.php") != std::string_view::npos;
    // The record goes only to the service's own pages, never to a page elsewhere whose address
    // merely contains the page name.
    if (resultPage && IsTrusted(url)) {
        if (!m_services.page.QueryElementProperty("server_datetime", "value", m_serverDateTime)) {
            m_serverDateTime.clear();
        }
        const std::string width = BarWidthText(m_services.window.ClientRect().Width(), Scale().x);
        FillResultPage(m_services.page, m_record, url, width);
    }
    FitWindowToPage();
}

void CTallyhiveDlg::CheckVersion() {
    std::string pageVersion;
    if (!m_services.page.QueryElementProperty("version", "value", pageVersion)) return;
    const std::string programVersion = ReleaseVersionText(m_services.program.ProductVersion());
    if (!IsPageVersionNewer(pageVersion, programVersion)) return;
    const MessageAnswer answer = m_services.ui.ShowMessage(
        MessageCaption(), OutdatedVersionQuestion(m_services.uiLanguage(), programVersion),
        MessageKind::Question);
    if (answer == MessageAnswer::Yes) OpenInDefaultBrowser(m_addresses.SoftwareRoot(), true);
}

void CTallyhiveDlg::FitWindowToPage() {
    tallyhive::FitWindowToPage(m_services.window, Scale());
}

bool CTallyhiveDlg::LoadLatestResult() {
    if (!tallyhive::LoadLatestResult(m_record, m_services.assessment)) return false;
    m_services.page.NavigateTo(m_addresses.ResultPage());
    return true;
}

RemeasureResult CTallyhiveDlg::Remeasure() {
    return m_services.remeasurer.Remeasure([this] { return LoadLatestResult(); });
}

bool CTallyhiveDlg::SubmitShare() {
    const std::string body = BuildShareForm(m_record, MakePassCode());
    m_services.page.NavigateTo(m_addresses.ShareEndpoint(), kShareHeaders, &body);
    return true;
}

std::string CTallyhiveDlg::MakePassCode() const {
    return tallyhive::MakePassCode(m_serverDateTime, m_services.assessment.time);
}

DisplayScale CTallyhiveDlg::Scale() {
    if (!m_scale) {
        // A screen that reports no sensible density is taken as the standard one.
        const auto factor = [](double dpi) { return dpi > 0.0 ? dpi / 96.0 : 1.0; };
        m_scale =
            DisplayScale{factor(m_services.window.LogicalDpiX()), factor(m_services.window.LogicalDpiY())};
    }
    return *m_scale;
}

std::string CTallyhiveDlg::MessageCaption() const {
    return ProgramCaption(m_services.program.ProgramFilePath());
}

void CTallyhiveDlg::ShowWarning(std::string_view text) {
    m_services.ui.ShowMessage(MessageCaption(), text, MessageKind::Warning);
}

}  // namespace tallyhive
