#include "core/catalogue/XMLReader.h"

#include <QXmlStreamReader>

namespace {

const QString kTextKey = QStringLiteral("text");

// The list stored in a variant, changed in place so that appending stays cheap.
QVariantList* listIn(QVariant& value)
{
    return value.typeId() == QMetaType::QVariantList ? static_cast<QVariantList*>(value.data()) : nullptr;
}

} // namespace

std::optional<QVariantMap> XMLReader::dictionaryForXMLData(const QByteArray& data, QString* error)
{
    XMLReader reader(error);
    return reader.objectWithData(data);
}

std::optional<QVariantMap> XMLReader::dictionaryForXMLString(const QString& string, QString* error)
{
    return dictionaryForXMLData(string.toUtf8(), error);
}

XMLReader::XMLReader(QString* error) : m_errorPointer(error) {}

std::optional<QVariantMap> XMLReader::objectWithData(const QByteArray& data)
{
    m_dictionaryStack = {QVariantMap()};
    m_nameStack.clear();
    m_textInProgress.clear();
    m_failed = false;

    QXmlStreamReader xml(data);
    // Element and attribute names are taken as written, prefixes and xmlns included.
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd() && !m_failed) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (m_nameStack.size() >= kMaxDepth) {
                parserParseErrorOccurred(QStringLiteral("elements nested deeper than %1").arg(kMaxDepth));
                break;
            }
            QVariantMap attributes;
            for (const QXmlStreamAttribute& attribute : xml.attributes())
                attributes.insert(attribute.qualifiedName().toString(), attribute.value().toString());
            parserDidStartElement(xml.qualifiedName().toString(), attributes);
            break;
        }
        case QXmlStreamReader::EndElement:
            parserDidEndElement(xml.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters:
            parserFoundCharacters(xml.text().toString());
            break;
        default:
            break;
        }
    }
    if (!m_failed && xml.hasError())
        parserParseErrorOccurred(QStringLiteral("%1 (line %2, column %3)")
                                     .arg(xml.errorString())
                                     .arg(xml.lineNumber())
                                     .arg(xml.columnNumber()));

    std::optional<QVariantMap> result;
    if (!m_failed && m_dictionaryStack.size() == 1)
        result = std::move(m_dictionaryStack.first());
    m_dictionaryStack.clear();
    m_nameStack.clear();
    m_textInProgress.clear();
    return result;
}

void XMLReader::parserDidStartElement(const QString& elementName, const QVariantMap& attributes)
{
    QVariantMap& parent = m_dictionaryStack.last();
    auto existing = parent.find(elementName);
    if (existing == parent.end()) {
        parent.insert(elementName, attributes);
    } else if (QVariantList* list = listIn(existing.value())) {
        list->append(attributes);
    } else {
        existing.value() = QVariantList{existing.value(), attributes};
    }
    m_dictionaryStack.append(attributes);
    m_nameStack.append(elementName);
}

void XMLReader::parserDidEndElement(const QString& elementName)
{
    Q_UNUSED(elementName)
    if (m_dictionaryStack.size() < 2)
        return;
    if (!m_textInProgress.isEmpty()) {
        m_dictionaryStack.last().insert(kTextKey, m_textInProgress);
        m_textInProgress = QString();
    }
    // Dictionaries are values here, so the finished one replaces the copy its parent holds:
    // the parent's entry under this name is that copy, or a list that ends with it.
    QVariantMap finished = m_dictionaryStack.takeLast();
    const QString name = m_nameStack.takeLast();
    QVariant& slot = m_dictionaryStack.last()[name];
    if (QVariantList* list = listIn(slot))
        list->last() = std::move(finished);
    else
        slot = std::move(finished);
}

void XMLReader::parserFoundCharacters(const QString& characters)
{
    m_textInProgress.append(characters);
}

void XMLReader::parserParseErrorOccurred(const QString& error)
{
    m_failed = true;
    if (m_errorPointer)
        *m_errorPointer = error;
}
