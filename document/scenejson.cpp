#include "document/scenejson.h"

#include "framework/core/ansi.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace qbx {
namespace {

// The integer fields of an object, in output order, with their members.
struct IntField {
    const char* key;
    std::int32_t C3dShape::*member;
};
constexpr std::array<IntField, 6> kIntFields = {{
    {"type", &C3dShape::m_nType},
    {"x", &C3dShape::m_nX},
    {"y", &C3dShape::m_nY},
    {"z", &C3dShape::m_nZ},
    {"colourMode", &C3dShape::m_nColourMode},
    {"colour", &C3dShape::m_nColour},
}};

void appendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out.push_back(kHex[(c >> 4) & 0xF]);
                out.push_back(kHex[c & 0xF]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

// The number literal `text` as a 32-bit integer. A literal with a fraction
// or an exponent counts when its value is a whole number ("1.0", "1e3").
// Otherwise returns the reason.
std::optional<QString> readInt(std::string_view text, std::int32_t& out)
{
    const char* const end = text.data() + text.size();
    std::int64_t whole = 0;
    const auto [wholeEnd, wholeStatus] = std::from_chars(text.data(), end, whole);
    if (wholeStatus == std::errc() && wholeEnd == end) {
        if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
            return QStringLiteral("outside the 32-bit range");
        out = static_cast<std::int32_t>(whole);
        return std::nullopt;
    }
    double value = 0;
    const auto [valueEnd, valueStatus] = std::from_chars(text.data(), end, value);
    if (valueStatus == std::errc() && std::trunc(value) != value)
        return QStringLiteral("not an integer");
    if (valueStatus != std::errc() || value < std::numeric_limits<std::int32_t>::min()
        || value > std::numeric_limits<std::int32_t>::max())
        return QStringLiteral("outside the 32-bit range");
    out = static_cast<std::int32_t>(value);
    return std::nullopt;
}

// The name in UTF-8 as the shape's Windows-1250 bytes, or the reason it cannot be.
std::optional<QString> setName(std::string_view utf8, C3dShape& shape)
{
    const QString name = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    // A character without a form comes back as '?'.
    const std::string bytes = fw::toAnsi(name);
    if (fw::fromAnsi(bytes) != name)
        return QStringLiteral("a character has no Windows-1250 form");
    if (name.contains(QChar(0)))
        return QStringLiteral("contains NUL");
    if (bytes.size() > C3dShape::kMaxName)
        return QStringLiteral("longer than %1 bytes").arg(C3dShape::kMaxName);
    shape.SetName(bytes);
    return std::nullopt;
}

// A SAX handler of rapidjson's reader that builds the objects of a document
// in the dump form as the text goes by, and stops at the first thing that is
// not, with the reason naming the element. "schema" may hold any value; a
// key given twice takes its last value.
class SceneHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, SceneHandler> {
public:
    ObjectList objects;
    QString reason; // set when the handler stopped the reader

    // Null and true or false; numbers come as their literal text
    // (kParseNumbersAsStringsFlag).
    bool Default() { return scalar(); }

    bool RawNumber(const char* text, rapidjson::SizeType length, bool)
    {
        if (m_state != State::ObjectValue || m_key == kName)
            return scalar();
        if (const std::optional<QString> wrong = readInt({text, length}, (*m_shape).*kIntFields[m_key - 1].member))
            return stop(field() + QStringLiteral(": ") + *wrong);
        m_state = State::Object;
        return true;
    }

    bool String(const char* text, rapidjson::SizeType length, bool)
    {
        if (m_state != State::ObjectValue || m_key != kName)
            return scalar();
        if (const std::optional<QString> wrong = setName({text, length}, *m_shape))
            return stop(field() + QStringLiteral(": ") + *wrong);
        m_state = State::Object;
        return true;
    }

    bool StartObject()
    {
        switch (m_state) {
        case State::Start:
            m_state = State::Top;
            return true;
        case State::List:
            m_shape = std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE);
            m_seen = 0;
            m_state = State::Object;
            return true;
        default:
            return open();
        }
    }

    bool Key(const char* text, rapidjson::SizeType length, bool)
    {
        const std::string_view key(text, length);
        if (m_state == State::Top) {
            if (key == "schema") {
                m_state = State::Schema;
                return true;
            }
            if (key == "objects") {
                objects.clear();
                m_state = State::ListStart;
                return true;
            }
            return stop(QStringLiteral("unknown key \"%1\"").arg(QString::fromUtf8(text, length)));
        }
        if (m_state != State::Object)
            return true; // within the schema's value
        const auto found = std::find_if(kIntFields.begin(), kIntFields.end(), [key](const IntField& f) { return key == f.key; });
        if (key != "name" && found == kIntFields.end())
            return stop(where() + QStringLiteral(": unknown key \"%1\"").arg(QString::fromUtf8(text, length)));
        m_key = key == "name" ? kName : 1 + static_cast<std::size_t>(found - kIntFields.begin());
        m_seen |= 1u << m_key;
        m_state = State::ObjectValue;
        return true;
    }

    bool EndObject(rapidjson::SizeType)
    {
        if (m_state == State::Schema)
            return close();
        if (m_state == State::Top) {
            m_state = State::Done;
            return m_sawList || stop(QStringLiteral("\"objects\" is missing or not an array"));
        }
        for (std::size_t key = 0; key <= kIntFields.size(); ++key) {
            if (!(m_seen & (1u << key)))
                return stop(where() + QStringLiteral(": missing \"%1\"").arg(QLatin1String(key == kName ? "name" : kIntFields[key - 1].key)));
        }
        objects.push_back(std::make_unique<C3dObject>(std::move(m_shape)));
        m_state = State::List;
        return true;
    }

    bool StartArray()
    {
        if (m_state != State::ListStart)
            return open();
        m_state = State::List;
        m_sawList = true;
        return true;
    }

    bool EndArray(rapidjson::SizeType)
    {
        if (m_state == State::Schema)
            return close();
        m_state = State::Top;
        return true;
    }

private:
    // Keys of an object by number: kName, then 1 + the index in kIntFields.
    static constexpr std::size_t kName = 0;
    enum class State { Start, Top, Schema, ListStart, List, Object, ObjectValue, Done };

    QString where() const { return QStringLiteral("objects[%1]").arg(objects.size()); }
    QString field() const
    {
        return where() + QLatin1Char('.') + QLatin1String(m_key == kName ? "name" : kIntFields[m_key - 1].key);
    }

    bool stop(const QString& why)
    {
        reason = why;
        return false;
    }

    // A value where only an object, a list or a field may stand, or within
    // the schema; an object or a list there opens one.
    bool wrongValue()
    {
        switch (m_state) {
        case State::Start: return stop(QStringLiteral("not a JSON object"));
        case State::ListStart: return stop(QStringLiteral("\"objects\" is missing or not an array"));
        case State::List: return stop(where() + QStringLiteral(": not an object"));
        default: return stop(field() + (m_key == kName ? QStringLiteral(": not a string") : QStringLiteral(": not a number")));
        }
    }
    bool scalar()
    {
        if (m_state != State::Schema)
            return wrongValue();
        if (m_schemaDepth == 0)
            m_state = State::Top;
        return true;
    }
    bool open()
    {
        if (m_state != State::Schema)
            return wrongValue();
        ++m_schemaDepth;
        return true;
    }
    bool close()
    {
        if (--m_schemaDepth == 0)
            m_state = State::Top;
        return true;
    }

    State m_state = State::Start;
    bool m_sawList = false;
    std::size_t m_schemaDepth = 0;
    unsigned m_seen = 0;
    std::size_t m_key = kName;
    std::unique_ptr<C3dShape> m_shape;
};

// A rapidjson input stream over a device, pulled through a buffer of a fixed
// size: memory follows the objects built, not the size of the text. Like
// rapidjson's memory stream it gives '\0' at the end; AtEnd() tells that end
// from a NUL byte in the text. A byte order mark before the text is passed over.
class DeviceStream {
public:
    using Ch = char;

    DeviceStream(QIODevice& device, qint64 bufferSize)
        : m_device(device), m_size(std::max<qint64>(bufferSize, 1)), m_buffer(new char[static_cast<std::size_t>(m_size)])
    {
        m_cur = m_last = m_buffer.get();
        fill();
        for (const char c : {'\xEF', '\xBB', '\xBF'}) {
            if (Peek() != c)
                break;
            Take();
        }
    }

    Ch Peek() const { return *m_cur; }
    Ch Take()
    {
        const Ch c = *m_cur;
        if (m_cur + 1 < m_last)
            ++m_cur;
        else if (!m_eof)
            fill();
        return c;
    }
    std::size_t Tell() const { return m_consumed + static_cast<std::size_t>(m_cur - m_buffer.get()); }
    bool AtEnd() const { return m_eof && m_cur == m_last; }
    // The device's reason when a read failed, else empty.
    const QString& ReadError() const { return m_readError; }
    // Named by rapidjson's reader for in-place parsing only, which this
    // stream does not allow.
    void Put(Ch) { RAPIDJSON_ASSERT(false); }
    Ch* PutBegin()
    {
        RAPIDJSON_ASSERT(false);
        return nullptr;
    }
    std::size_t PutEnd(Ch*)
    {
        RAPIDJSON_ASSERT(false);
        return 0;
    }

private:
    // Replaces the buffer's bytes, all taken, with the next ones; at the end
    // of the text, or on a read error, leaves the '\0' that stands for the end.
    void fill()
    {
        m_consumed += static_cast<std::size_t>(m_last - m_buffer.get());
        const qint64 n = m_device.read(m_buffer.get(), m_size);
        m_cur = m_buffer.get();
        m_last = m_cur + std::max<qint64>(n, 0);
        if (n < 0)
            m_readError = m_device.errorString();
        if (n <= 0) {
            m_eof = true;
            m_buffer[0] = '\0';
        }
    }

    QIODevice& m_device;
    qint64 m_size;
    std::unique_ptr<char[]> m_buffer;
    const char* m_cur = nullptr;
    // One past the last byte read; at the end of the text, m_buffer itself,
    // where m_cur points at the '\0' that stands for the end.
    const char* m_last = nullptr;
    std::size_t m_consumed = 0;
    bool m_eof = false;
    QString m_readError;
};

} // namespace

void WriteJson(const ObjectList& objects, std::optional<unsigned> schema,
               const std::function<void(std::string_view)>& sink)
{
    constexpr std::size_t kPiece = 64 * 1024;
    std::string out = "{\n \"schema\": ";
    out.reserve(kPiece + 4096);
    out += schema ? std::to_string(*schema) : std::string("null");
    out += ",\n \"objects\": [";
    char number[16];
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const C3dShape& shape = *objects[i]->m_pShape;
        out += i == 0 ? "\n  {\n   \"name\": " : ",\n  {\n   \"name\": ";
        const QByteArray name = fw::fromAnsi(shape.m_szName).toUtf8();
        appendJsonString(out, std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        for (const IntField& field : kIntFields) {
            out += ",\n   \"";
            out += field.key;
            out += "\": ";
            const auto written = std::to_chars(number, number + sizeof number, shape.*field.member);
            out.append(number, written.ptr);
        }
        out += "\n  }";
        if (out.size() >= kPiece) {
            sink(out);
            out.clear();
        }
    }
    out += objects.empty() ? "]\n}\n" : "\n ]\n}\n";
    sink(out);
}

std::optional<ObjectList> ObjectsFromJson(QIODevice& device, QString* error, qint64 bufferSize)
{
    DeviceStream stream(device, bufferSize);
    SceneHandler handler;
    rapidjson::Reader reader;
    constexpr unsigned kFlags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    const rapidjson::ParseResult parsed = reader.Parse<kFlags>(stream, handler);
    // rapidjson takes a NUL byte for the end of the text: anything after it
    // is as much garbage as anything after the document.
    QString reason;
    if (!stream.ReadError().isEmpty())
        reason = QStringLiteral("cannot read: %1").arg(stream.ReadError());
    else if (!handler.reason.isEmpty())
        reason = handler.reason;
    else if (parsed.Code() == rapidjson::kParseErrorDocumentRootNotSingular || (parsed && !stream.AtEnd()))
        reason = QStringLiteral("garbage at the end of the document at offset %1").arg(parsed ? stream.Tell() : parsed.Offset());
    else if (!parsed)
        reason = QStringLiteral("%1 at offset %2")
                     .arg(QString::fromLatin1(rapidjson::GetParseError_En(parsed.Code())).chopped(1)) // its final '.'
                     .arg(parsed.Offset());
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return std::nullopt;
    }
    return std::move(handler.objects);
}

std::optional<ObjectList> ObjectsFromJson(const QByteArray& json, QString* error)
{
    QBuffer buffer;
    buffer.setData(json);
    buffer.open(QIODevice::ReadOnly);
    return ObjectsFromJson(buffer, error);
}

} // namespace qbx
