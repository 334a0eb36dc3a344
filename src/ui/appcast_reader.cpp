#include "ui/appcast_reader.h"

#include <QXmlStreamReader>

namespace quorvelle {
namespace {

const QString kSparkle = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

std::string text(QXmlStreamReader& reader) {
  return reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed().toStdString();
}

AppcastItem readItem(QXmlStreamReader& reader) {
  AppcastItem item;
  std::string enclosureVersion;
  std::string enclosureShortVersion;
  while (reader.readNextStartElement()) {
    const QStringView name = reader.name();
    if (reader.namespaceUri() == kSparkle) {
      if (name == u"version") {
        item.version = text(reader);
      } else if (name == u"shortVersionString") {
        item.shortVersionString = text(reader);
      } else if (name == u"releaseNotesLink") {
        item.releaseNotesLink = text(reader);
      } else if (name == u"channel") {
        item.channel = text(reader);
      } else {
        reader.skipCurrentElement();
      }
    } else if (reader.namespaceUri().isEmpty() && name == u"title") {
      item.title = text(reader);
    } else if (reader.namespaceUri().isEmpty() && name == u"link") {
      item.link = text(reader);
    } else if (reader.namespaceUri().isEmpty() && name == u"enclosure") {
      const QXmlStreamAttributes attributes = reader.attributes();
      item.enclosureURL = attributes.value(QString(), "url").trimmed().toString().toStdString();
      enclosureVersion = attributes.value(kSparkle, "version").trimmed().toString().toStdString();
      enclosureShortVersion = attributes.value(kSparkle, "shortVersionString").trimmed().toString().toStdString();
      reader.skipCurrentElement();
    } else {
      reader.skipCurrentElement();
    }
  }
  if (item.version.empty()) item.version = enclosureVersion;
  if (item.shortVersionString.empty()) item.shortVersionString = enclosureShortVersion;
  return item;
}

}  // namespace

std::optional<std::vector<AppcastItem>> readAppcast(const QByteArray& xml, std::string* error) {
  QXmlStreamReader reader(xml);
  std::vector<AppcastItem> items;
  bool sawChannel = false;
  while (!reader.atEnd() && !reader.isStartElement()) {
    if (reader.readNext() == QXmlStreamReader::DTD) {
      *error = "the feed declares a document type";
      return std::nullopt;
    }
  }
  if (!reader.hasError() && reader.isStartElement() && reader.name() == u"rss") {
    while (reader.readNextStartElement()) {
      if (reader.name() != u"channel") {
        reader.skipCurrentElement();
        continue;
      }
      sawChannel = true;
      while (reader.readNextStartElement()) {
        if (reader.name() == u"item") {
          items.push_back(readItem(reader));
        } else {
          reader.skipCurrentElement();
        }
      }
    }
    // Read to the end so that whatever follows the feed is checked too.
    while (!reader.atEnd()) reader.readNext();
  }
  if (reader.hasError()) {
    *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()).toStdString();
    return std::nullopt;
  }
  if (!sawChannel) {
    *error = "not an RSS feed with a channel";
    return std::nullopt;
  }
  return items;
}

}  // namespace quorvelle
