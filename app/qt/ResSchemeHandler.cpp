#include "app/qt/ResSchemeHandler.h"

#include <QBuffer>
#include <QFile>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "app/Addresses.h"
#include "app/BuiltInPages.h"

namespace tallyhive {

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

ResSchemeHandler::ResSchemeHandler(std::string programUrlPath, std::string softwareRoot, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent),
      m_programUrlPath(std::move(programUrlPath)),
      m_softwareRoot(std::move(softwareRoot)) {}

void ResSchemeHandler::RegisterScheme() {
    QWebEngineUrlScheme scheme("res");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Local: pages from the network can neither show nor open these. LocalAccessAllowed: the
    // agreement pages, themselves local, may show the pictures.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

std::string ResSchemeHandler::ImageAddress(int number) const {
    // The pages refer to their pictures relative to themselves.
    return "res://" + m_programUrlPath + "/" + BuiltInImageAddress(number, ImageAddressForm::UrlScheme);
}

void ResSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const std::string address = job->requestUrl().toString(QUrl::FullyEncoded).toStdString();
    QByteArray body;
    QByteArray type;
    if (address == BuiltInPageAddress(m_programUrlPath, kAgreementJapanese) ||
        address == BuiltInPageAddress(m_programUrlPath, kAgreementEnglish)) {
        const bool japanese = address == BuiltInPageAddress(m_programUrlPath, kAgreementJapanese);
        const QByteArray source = ReadResource(japanese ? QStringLiteral(":/resources/agreement_ja.html")
                                                        : QStringLiteral(":/resources/agreement_en.html"));
        const std::string page = RenderBuiltInPage(std::string_view(source.constData(), source.size()),
                                                   m_softwareRoot, ImageAddressForm::UrlScheme);
        body = QByteArray::fromStdString(page);
        type = "text/html";
    } else if (address == ImageAddress(kBannerImage)) {
        body = ReadResource(QStringLiteral(":/resources/images/banner-130.png"));
        type = "image/png";
    } else if (address == ImageAddress(kIconImage)) {
        body = ReadResource(QStringLiteral(":/resources/images/icon-132.png"));
        type = "image/png";
    }
    if (body.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The job reads the device after this call returns; the job owns it from here on.
    auto* device = new QBuffer(job);
    device->setData(body);
    device->open(QIODevice::ReadOnly);
    job->reply(type, device);
}

}  // namespace tallyhive
