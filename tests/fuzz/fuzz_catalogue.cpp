// Fuzz entry for the catalogue's decipher-and-parse path. Built for libFuzzer with clang
// (ZV_LIBFUZZER=ON) or, with any compiler, with the bounded driver in standalone_driver.cpp.
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/XMLReader.h"
#include "tests/fuzz/FuzzHints.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_catalogue: %s\n", what);
    std::abort();
}

} // namespace

FuzzHints fuzzHints()
{
    return {"fuzz_catalogue",
            {"<appcategory>",
             "</appcategory>",
             "<app ",
             "/>",
             "<app name=\"x\" libpath=\"$homelib/a\"/>",
             "<",
             ">",
             "</",
             "\"",
             "=",
             "&amp;",
             "&#0;",
             "&#x10FFFF;",
             "&e;",
             "<!DOCTYPE a [<!ENTITY e \"xx\">]>",
             "<![CDATA[",
             "]]>",
             "<!--",
             "-->",
             "<?xml version=\"1.0\"?>",
             "xmlns:p=\"urn:x\" ",
             "p:",
             " text=\"t\"",
             "\xef\xbb\xbf",
             "\xff\xfe",
             "\xc3",
             "\r\n"},
            {
                "<appcategory><app name=\"A\" processname=\"a|b\" libpath=\"$homelib/a\" apppath=\"/x|/y\" "
                "issymlink=\"1\" "
                "isui=\"0\" infor=\"i\"/><app name=\"B\"/></appcategory>",
                "<a x=\"1\"><b/><b/></a>",
                "<a>one<b>two</b>three<b/></a>",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><appcategory "
                "app=\"s\"><app/></appcategory>",
                "<!DOCTYPE r [<!ENTITY e \"&f;&f;\"><!ENTITY f \"ab\">]><r>&e;<![CDATA[<x>]]></r>",
                QByteArray(),
            }};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    // The input as a shipped resource: whatever it holds, loading must end quietly.
    const QList<CatalogueEntry> fromFile = Catalogue::entriesFromEncrypted(bytes);
    if (fromFile.size() > qsizetype(size))
        fail("more entries than bytes");

    // The input as the plaintext document: enciphered and loaded, it must read the same.
    QString error;
    const auto plain = Catalogue::entriesFromXml(bytes, &error);
    if (!plain && error.isEmpty())
        fail("a parse failure without an error text");
    const auto cipher = Catalogue::encipher(bytes);
    if (!cipher || cipher->size() != (qsizetype(size) / 16 + 1) * 16)
        fail("enciphering failed");
    if (Catalogue::entriesFromEncrypted(*cipher) != plain.value_or(QList<CatalogueEntry>()))
        fail("the enciphered document reads differently");

    // A second parse of the same bytes gives the same tree.
    if (XMLReader::dictionaryForXMLData(bytes) != XMLReader::dictionaryForXMLData(bytes))
        fail("parsing is not repeatable");
    return 0;
}
