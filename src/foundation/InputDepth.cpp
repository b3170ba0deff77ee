#include "foundation/InputDepth.h"

#include <cstring>
#include <stdexcept>

#include <QString>
#include <QXmlStreamReader>

#include <boost/property_tree/detail/rapidxml.hpp>

const char* const kInputTooDeepText = "document nested deeper than 64 levels";

namespace {

// The element reader behind boost::property_tree::read_xml recurses per
// element. This walk takes the markup apart the way that reader does, step
// for step and with its own character tables, but keeps the depth in a
// counter: whatever the reader skips (a comment, a CDATA section, a
// processing instruction, a DOCTYPE with its internal subset, any other
// "<!" node up to its first '>') is skipped here alike, so no text can hide
// an element from this count or show one that the reader does not open.
// Where the reader stops with an error, the walk stops too.
class TreeReaderWalk
{
public:
    TreeReaderWalk(const char* text, size_t size) : m_text(text), m_size(::strnlen(text, size)) {}

    bool within()
    {
        if (at(0) == '\xef' && at(1) == '\xbb' && at(2) == '\xbf')
            m_i = 3;
        int depth = 0;
        while (true) {
            if (depth == 0) {
                skip(tables::lookup_whitespace);
                if (at(0) != '<')
                    return true; // the end, or "expected <"
                ++m_i;
            } else {
                // Character data up to the next markup; references cannot
                // reach past it.
                skip(tables::lookup_text);
                if (at(0) != '<')
                    return true; // "unexpected end of data"
                if (at(1) == '/') {
                    m_i += 2;
                    skip(tables::lookup_node_name);
                    skip(tables::lookup_whitespace);
                    if (at(0) != '>')
                        return true;
                    ++m_i;
                    --depth;
                    continue;
                }
                ++m_i;
            }
            if (at(0) == '?' || at(0) == '!') {
                if (!skipNode())
                    return true;
                continue;
            }
            // An element.
            const size_t name = m_i;
            skip(tables::lookup_node_name);
            if (m_i == name)
                return true;
            if (++depth > kMaxInputDepth)
                return false;
            skip(tables::lookup_whitespace);
            if (!skipAttributes())
                return true;
            if (at(0) == '>') {
                ++m_i;
            } else if (at(0) == '/' && at(1) == '>') {
                m_i += 2;
                --depth;
            } else {
                return true;
            }
        }
    }

private:
    using tables = boost::property_tree::detail::rapidxml::internal::lookup_tables<0>;

    // The byte at m_i + k; past the end the reader sees its terminating zero.
    char at(size_t k) const { return m_i + k < m_size ? m_text[m_i + k] : '\0'; }

    void skip(const unsigned char (&table)[256])
    {
        while (table[static_cast<unsigned char>(at(0))] != 0)
            ++m_i;
    }

    bool is(const char* word) const
    {
        const size_t n = std::strlen(word);
        return m_i + n <= m_size && std::memcmp(m_text + m_i, word, n) == 0;
    }

    bool isWhitespace(size_t k) const { return tables::lookup_whitespace[static_cast<unsigned char>(at(k))] != 0; }

    // Past the first end at or after m_i; false when the text ends first.
    bool skipPast(const char* end)
    {
        for (; m_i < m_size; ++m_i) {
            if (is(end)) {
                m_i += std::strlen(end);
                return true;
            }
        }
        return false;
    }

    // m_i at the '?' or '!' after '<': past the node, false on an error.
    bool skipNode()
    {
        if (at(0) == '?') {
            ++m_i;
            return skipPast("?>"); // a declaration or a processing instruction
        }
        if (is("!--")) {
            m_i += 3;
            return skipPast("-->");
        }
        if (is("![CDATA[")) {
            m_i += 8;
            return skipPast("]]>");
        }
        if (is("!DOCTYPE") && isWhitespace(8)) {
            m_i += 9;
            return skipDoctype();
        }
        ++m_i;
        return skipPast(">");
    }

    // To the '>' that ends the declaration; brackets nest, quotes do not count.
    bool skipDoctype()
    {
        while (at(0) != '>') {
            if (at(0) == '\0')
                return false;
            if (at(0) == '[') {
                ++m_i;
                for (int brackets = 1; brackets > 0; ++m_i) {
                    if (at(0) == '[')
                        ++brackets;
                    else if (at(0) == ']')
                        --brackets;
                    else if (at(0) == '\0')
                        return false;
                }
            } else {
                ++m_i;
            }
        }
        ++m_i;
        return true;
    }

    bool skipAttributes()
    {
        while (tables::lookup_attribute_name[static_cast<unsigned char>(at(0))] != 0) {
            ++m_i;
            skip(tables::lookup_attribute_name);
            skip(tables::lookup_whitespace);
            if (at(0) != '=')
                return false;
            ++m_i;
            skip(tables::lookup_whitespace);
            const char quote = at(0);
            if (quote != '\'' && quote != '"')
                return false;
            ++m_i;
            skip(quote == '\'' ? tables::lookup_attribute_data_1 : tables::lookup_attribute_data_2);
            if (at(0) != quote)
                return false;
            ++m_i;
            skip(tables::lookup_whitespace);
        }
        return true;
    }

    const char* m_text;
    size_t m_size;
    size_t m_i = 0;
};

// QXmlStreamReader itself counts: what it takes for an element, entity
// replacement text included, is an element here.
bool streamReaderWithin(const char* text, size_t size)
{
    QXmlStreamReader reader(QString::fromUtf8(text, static_cast<qsizetype>(size)));
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxInputDepth)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return true;
}

// The JSON readers end a string at its first unescaped quote and stop at the
// first fault, so up to there a quote outside a string opens one for them
// as it does here.
bool jsonWithin(const char* t, size_t size)
{
    int depth = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = t[i];
        if (c == '"') {
            for (++i; i < size && t[i] != '"'; ++i) {
                if (t[i] == '\\')
                    ++i;
            }
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxInputDepth)
                return false;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return true;
}

} // namespace

bool withinInputDepth(const char* text, size_t size, InputMarkup markup)
{
    if (text == nullptr)
        return true;
    switch (markup) {
    case InputMarkup::Xml: return TreeReaderWalk(text, size).within();
    case InputMarkup::XmlStream: return streamReaderWithin(text, size);
    case InputMarkup::Json: break;
    }
    return jsonWithin(text, size);
}

void requireInputDepth(const std::string& text, InputMarkup markup)
{
    if (!withinInputDepth(text, markup))
        throw std::runtime_error(kInputTooDeepText);
}
