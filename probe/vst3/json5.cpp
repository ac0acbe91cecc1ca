#include "json5.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

constexpr int kMaxDepth = 64;

class Reader
{
public:
    explicit Reader(const QByteArray &text)
        : m_text(text)
    {
    }

    bool document(QJsonValue *value)
    {
        skipSpace();
        if (!parseValue(value, 0))
            return false;
        skipSpace();
        if (m_at < m_text.size())
            return fail("text after the value");
        return true;
    }

    QString error() const { return m_error; }

private:
    const QByteArray &m_text;
    int m_at = 0;
    QString m_error;

    char peek(int ahead = 0) const
    {
        const int at = m_at + ahead;
        return at >= 0 && at < m_text.size() ? m_text.at(at) : '\0';
    }
    bool atEnd() const { return m_at >= m_text.size(); }

    bool fail(const char *what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("%1 at line %2").arg(QLatin1String(what)).arg(lineAt());
        return false;
    }

    int lineAt() const { return 1 + int(m_text.left(m_at).count('\n')); }

    // Whitespace and both kinds of comment.
    void skipSpace()
    {
        while (!atEnd()) {
            const char c = peek();
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++m_at;
            } else if (c == '/' && peek(1) == '/') {
                while (!atEnd() && peek() != '\n')
                    ++m_at;
            } else if (c == '/' && peek(1) == '*') {
                const int end = m_text.indexOf("*/", m_at + 2);
                m_at = end < 0 ? int(m_text.size()) : end + 2;
            } else if (uchar(c) == 0xEF && uchar(peek(1)) == 0xBB && uchar(peek(2)) == 0xBF) {
                m_at += 3; // a byte order mark
            } else {
                return;
            }
        }
    }

    bool parseValue(QJsonValue *value, int depth)
    {
        if (depth > kMaxDepth)
            return fail("nesting too deep");
        const char c = peek();
        if (c == '{')
            return parseObject(value, depth);
        if (c == '[')
            return parseArray(value, depth);
        if (c == '"' || c == '\'') {
            QString text;
            if (!parseString(&text))
                return false;
            *value = text;
            return true;
        }
        if (matchWord("true")) {
            *value = true;
            return true;
        }
        if (matchWord("false")) {
            *value = false;
            return true;
        }
        if (matchWord("null")) {
            *value = QJsonValue(QJsonValue::Null);
            return true;
        }
        return parseNumber(value);
    }

    bool matchWord(const char *word)
    {
        const int length = int(qstrlen(word));
        if (m_text.mid(m_at, length) != word || isIdentifierChar(peek(length)))
            return false;
        m_at += length;
        return true;
    }

    static bool isIdentifierChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$'
            || uchar(c) >= 0x80;
    }

    bool parseObject(QJsonValue *value, int depth)
    {
        ++m_at; // {
        QJsonObject object;
        for (;;) {
            skipSpace();
            if (peek() == '}') {
                ++m_at;
                break;
            }
            QString key;
            if (peek() == '"' || peek() == '\'') {
                if (!parseString(&key))
                    return false;
            } else {
                const int start = m_at;
                while (isIdentifierChar(peek()))
                    ++m_at;
                if (m_at == start)
                    return fail("a key or '}' expected");
                key = QString::fromUtf8(m_text.mid(start, m_at - start));
            }
            skipSpace();
            if (peek() != ':')
                return fail("':' expected after a key");
            ++m_at;
            skipSpace();
            QJsonValue member;
            if (!parseValue(&member, depth + 1))
                return false;
            object.insert(key, member);
            skipSpace();
            if (peek() == ',') {
                ++m_at;
            } else if (peek() != '}') {
                return fail("',' or '}' expected");
            }
        }
        *value = object;
        return true;
    }

    bool parseArray(QJsonValue *value, int depth)
    {
        ++m_at; // [
        QJsonArray array;
        for (;;) {
            skipSpace();
            if (peek() == ']') {
                ++m_at;
                break;
            }
            QJsonValue element;
            if (!parseValue(&element, depth + 1))
                return false;
            array.append(element);
            skipSpace();
            if (peek() == ',') {
                ++m_at;
            } else if (peek() != ']') {
                return fail("',' or ']' expected");
            }
        }
        *value = array;
        return true;
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool readHex(int digits, uint *code)
    {
        *code = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = hexDigit(peek());
            if (digit < 0)
                return fail("a hex digit expected in an escape");
            *code = *code * 16 + uint(digit);
            ++m_at;
        }
        return true;
    }

    bool parseString(QString *text)
    {
        const char quote = peek();
        ++m_at;
        QByteArray utf8; // runs of plain bytes
        QString result;
        auto flush = [&] {
            result += QString::fromUtf8(utf8);
            utf8.clear();
        };
        for (;;) {
            if (atEnd())
                return fail("unterminated string");
            const char c = peek();
            ++m_at;
            if (c == quote)
                break;
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            if (atEnd())
                return fail("unterminated string");
            const char escaped = peek();
            ++m_at;
            switch (escaped) {
            case 'b':
                utf8 += '\b';
                break;
            case 'f':
                utf8 += '\f';
                break;
            case 'n':
                utf8 += '\n';
                break;
            case 'r':
                utf8 += '\r';
                break;
            case 't':
                utf8 += '\t';
                break;
            case 'v':
                utf8 += '\v';
                break;
            case '0':
                utf8 += '\0';
                break;
            case '\r':
                if (peek() == '\n')
                    ++m_at;
                break; // a line continuation
            case '\n':
                break;
            case 'x':
            case 'u': {
                uint code = 0;
                if (!readHex(escaped == 'x' ? 2 : 4, &code))
                    return false;
                flush();
                result += QChar(ushort(code));
                break;
            }
            default:
                utf8 += escaped; // \" \' \\ \/ and any other character stand for themselves
            }
        }
        flush();
        *text = result;
        return true;
    }

    bool parseNumber(QJsonValue *value)
    {
        double sign = 1;
        if (peek() == '+' || peek() == '-') {
            sign = peek() == '-' ? -1 : 1;
            ++m_at;
        }
        if (matchWord("Infinity")) {
            *value = sign * std::numeric_limits<double>::infinity();
            return true;
        }
        if (matchWord("NaN")) {
            *value = std::numeric_limits<double>::quiet_NaN();
            return true;
        }
        if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            m_at += 2;
            if (hexDigit(peek()) < 0)
                return fail("a hex digit expected");
            double number = 0;
            for (int digit; (digit = hexDigit(peek())) >= 0; ++m_at)
                number = number * 16 + digit;
            *value = sign * number;
            return true;
        }
        const int start = m_at;
        while ((peek() >= '0' && peek() <= '9') || peek() == '.' || peek() == 'e' || peek() == 'E'
               || ((peek() == '+' || peek() == '-') && (peek(-1) == 'e' || peek(-1) == 'E')))
            ++m_at;
        if (m_at == start)
            return fail("a value expected");
        bool ok = false;
        const double number = m_text.mid(start, m_at - start).toDouble(&ok);
        if (!ok)
            return fail("a number expected");
        *value = sign * number;
        return true;
    }
};

} // namespace

bool parseJson5(const QByteArray &text, QJsonValue *value, QString *error)
{
    Reader reader(text);
    QJsonValue result;
    if (!reader.document(&result)) {
        if (error)
            *error = reader.error();
        return false;
    }
    *value = result;
    return true;
}
