#include "app/qt/ProgressRemeasurer.h"

#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <thread>

#include "app/qt/TestLog.h"
#include "platform/Processes.h"
#include "remeasure/Remeasure.h"
#include "runner/EmbeddedRunner.h"

namespace tallyhive {

namespace {

// The progress window cannot be closed while the measurement runs: the runner would go on anyway.
class ProgressDialog final : public QDialog {
public:
    using QDialog::QDialog;
    bool running = true;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (running) {
            event->ignore();
            return;
        }
        QDialog::closeEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (running && event->key() == Qt::Key_Escape) return;
        QDialog::keyPressEvent(event);
    }
};

QString Elapsed(qint64 ms) {
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ProgressRemeasurer::ProgressRemeasurer(FileService& files, const TimeService& time,
                                       std::function<std::string()> uiLanguage)
    : m_files(files), m_time(time), m_uiLanguage(std::move(uiLanguage)) {}

void ProgressRemeasurer::RemoveEarlierRunners() {
    tallyhive::RemoveEarlierRunners(*MakeTempFolderService(), EmbeddedRunner().fileName);
}

RemeasureResult ProgressRemeasurer::Remeasure(const std::function<bool()>& loadLatest) {
    const bool japanese = m_uiLanguage() == "ja";
    ProgressDialog dialog(m_owner);
    dialog.setWindowTitle(QStringLiteral("TALLYHIVE"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog.setObjectName(QStringLiteral("remeasure-progress"));
    auto* layout = new QVBoxLayout(&dialog);  // owned by the dialog, as Qt's widgets are
    auto* heading = new QLabel(japanese ? QStringLiteral("再計測しています。数分かかることがあります。")
                                        : QStringLiteral("Measuring again. This can take a few minutes."),
                               &dialog);
    auto* elapsed = new QLabel(&dialog);
    auto* output = new QPlainTextEdit(&dialog);
    output->setReadOnly(true);
    output->setMaximumBlockCount(20000);
    output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    output->setMinimumSize(560, 260);
    layout->addWidget(heading);
    layout->addWidget(elapsed);
    layout->addWidget(output);

    QElapsedTimer clock;
    clock.start();
    const QString elapsedWord = japanese ? QStringLiteral("経過時間 ") : QStringLiteral("Elapsed ");
    elapsed->setText(elapsedWord + Elapsed(0));
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &dialog,
                     [&] { elapsed->setText(elapsedWord + Elapsed(clock.elapsed())); });
    tick.start(1000);

    // The worker reports through queued calls into the dialog's thread; it ends before the dialog does.
    std::atomic<RemeasureOutcome> outcome{RemeasureOutcome::Failed};
    std::string why;
    const OutputSink relay = [&dialog, output](std::string_view chunk) {
        const QString text = QString::fromUtf8(chunk.data(), static_cast<qsizetype>(chunk.size()));
        QMetaObject::invokeMethod(
            &dialog,
            [output, text] {
                output->moveCursor(QTextCursor::End);
                output->insertPlainText(text);
                output->ensureCursorVisible();
            },
            Qt::QueuedConnection);
    };
    std::thread worker([&] {
        // Whatever happens here, the dialog is told to close: an exception leaving this thread
        // would end the program, and one swallowed without that would leave the dialog open.
        try {
            const auto temp = MakeTempFolderService();
            const auto processes = MakeProcessService();
            const RemeasureServices services{*temp, *processes, EmbeddedRunner(),
                                             [this] { return NewestFormalStamp(m_files, m_time); }};
            outcome = RunRemeasurement(services, relay, &why);
        } catch (const std::exception& error) {
            outcome = RemeasureOutcome::Failed;
            why = error.what();
        } catch (...) {
            outcome = RemeasureOutcome::Failed;
            why = "unexpected failure";
        }
        QMetaObject::invokeMethod(
            &dialog, [&dialog] { dialog.accept(); }, Qt::QueuedConnection);
    });
    TestLog::Write(QStringLiteral("remeasure-started"));
    dialog.exec();
    worker.join();
    dialog.running = false;
    TestLog::Write(QStringLiteral("remeasure-ended"),
                   {{QStringLiteral("ok"), outcome == RemeasureOutcome::Succeeded},
                    {QStringLiteral("why"), QString::fromStdString(why)},
                    {QStringLiteral("output"), output->toPlainText().right(2000)}});
    switch (outcome.load()) {
        case RemeasureOutcome::Succeeded:
            return loadLatest() ? RemeasureResult::Loaded : RemeasureResult::Failed;
        case RemeasureOutcome::StillRunning:
            return RemeasureResult::StillRunning;
        case RemeasureOutcome::Failed:
            break;
    }
    return RemeasureResult::Failed;
}

}  // namespace tallyhive
