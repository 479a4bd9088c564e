#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <optional>

// Turns an XML document into nested dictionaries: each element becomes a dictionary of its
// attributes, stored in its parent under the element's name; a name that repeats becomes a
// list in document order. Character data is kept under "text" of the element it ends in.
// The result is the root dictionary, whose single key is the document element's name.
class XMLReader
{
public:
    // Nesting deeper than this is refused as a parse error, so hostile input cannot build a
    // tree that is too deep to take apart again.
    static constexpr int kMaxDepth = 256;

    static std::optional<QVariantMap> dictionaryForXMLData(const QByteArray& data, QString* error = nullptr);
    static std::optional<QVariantMap> dictionaryForXMLString(const QString& string, QString* error = nullptr);

    explicit XMLReader(QString* error = nullptr);
    std::optional<QVariantMap> objectWithData(const QByteArray& data);

    // The event handlers the parser drives.
    void parserDidStartElement(const QString& elementName, const QVariantMap& attributes);
    void parserDidEndElement(const QString& elementName);
    void parserFoundCharacters(const QString& characters);
    void parserParseErrorOccurred(const QString& error);

private:
    QList<QVariantMap> m_dictionaryStack;
    QList<QString> m_nameStack;
    QString m_textInProgress;
    QString* m_errorPointer = nullptr;
    bool m_failed = false;
};
