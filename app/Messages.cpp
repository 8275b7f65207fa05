#include "app/Messages.h"

namespace tallyhive {

std::string_view AlreadyRunningMessage(std::string_view uiLanguage) {
    if (uiLanguage == "ja") return "すでにTALLYHIVEは、起動されています。";
    return "TALLYHIVE has already been started.";
}

std::string_view LoadFailureMessage(std::string_view uiLanguage) {
    if (uiLanguage == "ja") {
        return "最後の計測結果の読み込みに失敗しました。計測結果がまだ存在していない可能性があります。"
               "再計測で計測を行って下さい。";
    }
    return "Failed to load the last measurement results. Maybe, there is no measurement results. Please "
           "re-measurement.";
}

std::string_view RemeasureFailureMessage(std::string_view uiLanguage) {
    if (uiLanguage == "ja") return "再計測に失敗しました。";
    return "Failed to re-measurement.";
}

std::string_view RemeasureStillRunningMessage(std::string_view uiLanguage) {
    if (uiLanguage == "ja") {
        return "計測は別のウィンドウで続いています。そのウィンドウが閉じてから「前回の結果を見る」をクリック"
               "すると、"
               "新しい結果が表示されます。";
    }
    return "The measurement is still running in its own window. When that window has closed, click \"Show "
           "the "
           "last result\" to see the new result.";
}

std::string_view CommandFailureMessage(std::string_view uiLanguage) {
    if (uiLanguage == "ja") return "操作を完了できませんでした。";
    return "The command could not be completed.";
}

std::string StartFailureMessage(std::string_view uiLanguage, StartFailure failure, std::string_view detail) {
    const std::string shown(detail);
    if (uiLanguage == "ja") {
        if (failure == StartFailure::NoOle)
            return "OLEを初期化できないため、TALLYHIVEを起動できません。(" + shown + ")";
        return "Webブラウザーコントロールを使えないため、TALLYHIVEを起動できません。(" + shown + ")";
    }
    if (failure == StartFailure::NoOle)
        return "TALLYHIVE cannot start: OLE cannot be initialised (" + shown + ").";
    return "TALLYHIVE cannot start: " + shown + ".";
}

std::string OutdatedVersionQuestion(std::string_view uiLanguage, std::string_view programVersion) {
    const std::string version(programVersion);
    if (uiLanguage == "ja") {
        return "このバージョン(ver." + version +
               ")のTALLYHIVEは、最新版ではないため正しく動作しない可能性があります。ソフトウェアのページを開"
               "き"
               "ますか？";
    }
    return "TALLYHIVE of this version (ver." + version +
           ") is not the latest version. It does not work correctly. Do you want to open the page of this "
           "software?";
}

}  // namespace tallyhive
