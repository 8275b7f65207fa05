// tallyhive-e2e-expect: what the program must write into the result pages and send with a share,
// for the newest assessment under a Windows directory, printed as JSON for the end-to-end test.
//   tallyhive-e2e-expect WINDOWS_DIR URL BAR_WIDTH SERVER_DATETIME
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "app/PageBridge.h"
#include "app/ScriptText.h"
#include "assessment/AssessmentResult.h"
#include "assessment/Loading.h"
#include "platform/Platform.h"
#include "presentation/ResultPage.h"
#include "share/PassCode.h"
#include "share/ShareForm.h"

namespace tallyhive {
namespace {

// Records the page calls as JSON objects, arguments kept apart (texts may hold commas).
class RecordingBridge final : public PageBridge {
public:
    std::vector<std::string> calls;

    bool QueryElementProperty(std::string_view, std::string_view, std::string&) override { return false; }
    bool QueryObjectProperty(const PageElement*, std::string_view, std::string&) override { return false; }
    bool CallPageScript(std::string_view function, std::span<const ScriptArg> args) override {
        std::string list;
        for (const ScriptArg& arg : args) {
            if (!list.empty()) list += ',';
            list += JsonStringLiteral(std::get<std::string>(arg));
        }
        calls.push_back("{\"call\":" + JsonStringLiteral(function) + ",\"args\":[" + list + "]}");
        return true;
    }
    void SetElementHtml(std::string_view id, std::string_view html) override {
        calls.push_back("{\"html\":" + JsonStringLiteral(id) + ",\"value\":" + JsonStringLiteral(html) + "}");
    }
    void SetElementText(std::string_view id, std::string_view text) override {
        calls.push_back("{\"text\":" + JsonStringLiteral(id) + ",\"value\":" + JsonStringLiteral(text) + "}");
    }
    void NavigateTo(std::string_view, std::string_view, const std::string*) override {}
    void ReloadPage() override {}
    void LoadBuiltInPage(int) override {}
};

}  // namespace
}  // namespace tallyhive

int main(int argc, char** argv) {
    using namespace tallyhive;
    if (argc != 5) {
        std::fprintf(stderr, "usage: tallyhive-e2e-expect WINDOWS_DIR URL BAR_WIDTH SERVER_DATETIME\n");
        return 2;
    }
    const auto files = MakeFileService(argv[1]);
    const auto time = MakeTimeService();
    const auto modules = MakeModuleService();
    const auto xml = MakeXmlParser();
    CAssessmentResult record(*time);
    std::string why;
    if (!LoadLatestResult(record, AssessmentServices{*files, *time, *modules, *xml}, &why)) {
        std::fprintf(stderr, "tallyhive-e2e-expect: %s\n", why.c_str());
        return 1;
    }
    RecordingBridge page;
    FillResultPage(page, record, argv[2], argv[3]);
    std::string out = "{\"fill\":[";
    for (std::size_t i = 0; i < page.calls.size(); ++i) out += (i ? "," : "") + page.calls[i];
    out += "],\"share\":" + JsonStringLiteral(BuildShareForm(record, PassCodeFor(argv[4])));
    out += ",\"scores\":{\"system\":" + JsonStringLiteral(record.systemScore) +
           ",\"cpu\":" + JsonStringLiteral(record.cpuScore) + "}}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}
