#include "ui/qt_appcast_feed.h"

#include <QMetaObject>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "ui/appcast_reader.h"
#include "update/feed_rules.h"

namespace quorvelle {
namespace {

const char kTooLarge[] = "quorvelleTooLarge";

void complete(QNetworkReply* reply, const AppcastFeed::Completion& completion) {
  const auto failed = [&](FeedFailure failure, const std::string& detail) {
    completion(std::nullopt, FeedError{failure, detail});
  };
  if (reply->property(kTooLarge).toBool()) {
    return failed(FeedFailure::Unreachable, "The update feed is larger than " +
                                                std::to_string(kMaximumFeedBytes / 1024) + " KB.");
  }
  if (reply->error() != QNetworkReply::NoError) return failed(FeedFailure::Unreachable, reply->errorString().toStdString());
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status != 200) return failed(FeedFailure::Unreachable, "HTTP status " + std::to_string(status));
  std::string error;
  std::optional<std::vector<AppcastItem>> items = readAppcast(reply->readAll(), &error);
  if (!items) return failed(FeedFailure::Malformed, error);
  completion(std::move(items), FeedError{});
}

}  // namespace

QtAppcastFeed::QtAppcastFeed() : network_(std::make_unique<QNetworkAccessManager>()) {}

QtAppcastFeed::~QtAppcastFeed() {
  // Replies are the manager's children: abort them without their completions.
  for (QNetworkReply* reply : network_->findChildren<QNetworkReply*>()) {
    reply->disconnect();
    reply->abort();
  }
}

void QtAppcastFeed::fetch(const std::string& url, Completion completion) {
  QNetworkRequest request(QUrl(QString::fromStdString(url), QUrl::StrictMode));
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(5);
  request.setTransferTimeout(kFeedTimeoutSeconds * 1000);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quorvelle"));
  QNetworkReply* reply = network_->get(request);
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
    if (received > kMaximumFeedBytes || total > kMaximumFeedBytes) {
      reply->setProperty(kTooLarge, true);
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, reply, [reply, completion = std::move(completion)] {
    reply->deleteLater();
    complete(reply, completion);
  });
}

}  // namespace quorvelle
