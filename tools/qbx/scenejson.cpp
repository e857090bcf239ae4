#include "tools/qbx/scenejson.h"

#include "framework/core/ansi.h"
#include "framework/core/filereader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <system_error>
#include <rapidjson/memorystream.h>
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

QString where(qsizetype index, const char* key = nullptr)
{
    QString text = QStringLiteral("objects[%1]").arg(index);
    if (key)
        text += QLatin1Char('.') + QLatin1String(key);
    return text;
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

bool readInt(const QJsonValue& value, const QString& at, std::int32_t& out, QString* error)
{
    if (!value.isDouble())
        return fail(error, at + QStringLiteral(": not a number"));
    // Qt keeps integral literals as 64-bit integers; what stays a double is
    // fractional or beyond 64 bits.
    if (value.toVariant().metaType().id() != QMetaType::LongLong) {
        const double d = value.toDouble();
        return fail(error, at + (std::trunc(d) == d ? QStringLiteral(": outside the 32-bit range")
                                                    : QStringLiteral(": not an integer")));
    }
    const qint64 n = value.toInteger();
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return fail(error, at + QStringLiteral(": outside the 32-bit range"));
    out = static_cast<std::int32_t>(n);
    return true;
}

bool setName(const QString& name, const QString& at, C3dShape& shape, QString* error)
{
    if (!fw::fitsAnsi(name))
        return fail(error, at + QStringLiteral(": a character has no Windows-1250 form"));
    if (name.contains(QChar(0)))
        return fail(error, at + QStringLiteral(": contains NUL"));
    const std::string bytes = fw::toAnsi(name);
    if (bytes.size() > C3dShape::kMaxName)
        return fail(error, at + QStringLiteral(": longer than %1 bytes").arg(C3dShape::kMaxName));
    shape.SetName(bytes);
    return true;
}

bool readName(const QJsonValue& value, const QString& at, C3dShape& shape, QString* error)
{
    if (!value.isString())
        return fail(error, at + QStringLiteral(": not a string"));
    return setName(value.toString(), at, shape, error);
}

bool isObjectKey(const QString& key)
{
    if (key == QLatin1String("name"))
        return true;
    for (const IntField& field : kIntFields) {
        if (key == QLatin1String(field.key))
            return true;
    }
    return false;
}

std::unique_ptr<C3dObject> readObject(const QJsonValue& value, qsizetype index, QString* error)
{
    if (!value.isObject()) {
        fail(error, where(index) + QStringLiteral(": not an object"));
        return nullptr;
    }
    const QJsonObject json = value.toObject();
    for (auto it = json.begin(); it != json.end(); ++it) {
        if (!isObjectKey(it.key())) {
            fail(error, where(index) + QStringLiteral(": unknown key \"%1\"").arg(it.key()));
            return nullptr;
        }
    }
    const auto missing = [&](const char* key) {
        fail(error, where(index) + QStringLiteral(": missing \"%1\"").arg(QLatin1String(key)));
        return nullptr;
    };
    auto shape = std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE);
    const QJsonValue name = json.value(QLatin1String("name"));
    if (name.isUndefined())
        return missing("name");
    if (!readName(name, where(index, "name"), *shape, error))
        return nullptr;
    for (const IntField& field : kIntFields) {
        const QJsonValue number = json.value(QLatin1String(field.key));
        if (number.isUndefined())
            return missing(field.key);
        if (!readInt(number, where(index, field.key), (*shape).*field.member, error))
            return nullptr;
    }
    return std::make_unique<C3dObject>(std::move(shape));
}

// The reader of every document that the fast reader below does not take:
// it gives each refusal its reason.
std::optional<ObjectList> objectsFromQJson(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fail(error, QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
        return std::nullopt;
    }
    if (!doc.isObject()) {
        fail(error, QStringLiteral("not a JSON object"));
        return std::nullopt;
    }
    const QJsonObject top = doc.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() != QLatin1String("schema") && it.key() != QLatin1String("objects")) {
            fail(error, QStringLiteral("unknown key \"%1\"").arg(it.key()));
            return std::nullopt;
        }
    }
    const QJsonValue list = top.value(QLatin1String("objects"));
    if (!list.isArray()) {
        fail(error, QStringLiteral("\"objects\" is missing or not an array"));
        return std::nullopt;
    }
    const QJsonArray array = list.toArray();
    ObjectList objects;
    objects.reserve(static_cast<std::size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) {
        std::unique_ptr<C3dObject> object = readObject(array.at(i), i, error);
        if (!object)
            return std::nullopt;
        objects.push_back(std::move(object));
    }
    return objects;
}


// A SAX handler of rapidjson's reader that builds the objects of a document
// in the dump form as it goes. It takes only documents that it can read
// exactly as objectsFromQJson would, and stops at anything else (a wrong
// type, an unknown, missing or repeated key, a number that is not a plain
// integer of the 32-bit range, a name that needs a reason to be refused):
// objectsFromQJson then reads the document again and says what is wrong.
class FastReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, FastReader> {
public:
    // Keys of an object by number: 0 "name", then 1 + the index in
    // kIntFields. Bit n of a seen-mask stands for key n.
    static constexpr unsigned kAllKeys = (1u << (kIntFields.size() + 1)) - 1;

    ObjectList objects;

    bool Default() { return false; }
    bool Null() { return scalar(); }
    bool Bool(bool) { return scalar(); }

    bool RawNumber(const char* text, rapidjson::SizeType length, bool)
    {
        if (m_state == State::SchemaValue)
            return scalar();
        if (m_state != State::ObjectValue || m_key == 0)
            return false;
        // Only plain integer literals; fractions and exponents ("1.0", "1e3")
        // follow Qt's own rules, so objectsFromQJson reads those.
        const char* end = text + length;
        std::int32_t value = 0;
        const auto [parsed, status] = std::from_chars(text, end, value);
        if (status != std::errc() || parsed != end)
            return false;
        (*m_shape).*kIntFields[m_key - 1].member = value;
        m_state = State::Object;
        return true;
    }

    bool String(const char* text, rapidjson::SizeType length, bool)
    {
        if (m_state == State::SchemaValue)
            return scalar();
        if (m_state != State::ObjectValue || m_key != 0)
            return false;
        const std::string_view utf8(text, length);
        const bool plain = std::all_of(utf8.begin(), utf8.end(),
                                       [](char c) { return c != '\0' && static_cast<unsigned char>(c) < 0x80; });
        if (plain) {
            // ASCII is the same bytes in Windows-1250.
            if (length > C3dShape::kMaxName)
                return false;
            m_shape->SetName(utf8);
        } else if (!setName(QString::fromUtf8(text, length), {}, *m_shape, nullptr)) {
            return false;
        }
        m_state = State::Object;
        return true;
    }

    bool StartObject()
    {
        if (m_state == State::Start) {
            m_state = State::Top;
            return true;
        }
        if (m_state != State::List)
            return false;
        m_shape = std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE);
        m_seen = 0;
        m_state = State::Object;
        return true;
    }

    bool Key(const char* text, rapidjson::SizeType length, bool)
    {
        const std::string_view key(text, length);
        if (m_state == State::Top) {
            const unsigned bit = key == "schema" ? 1u : key == "objects" ? 2u : 0u;
            if (bit == 0 || (m_topSeen & bit))
                return false;
            m_topSeen |= bit;
            m_state = bit == 1u ? State::SchemaValue : State::ListStart;
            return true;
        }
        if (m_state != State::Object)
            return false;
        if (key == "name") {
            m_key = 0;
        } else {
            const auto found = std::find_if(kIntFields.begin(), kIntFields.end(),
                                            [key](const IntField& field) { return key == field.key; });
            if (found == kIntFields.end())
                return false;
            m_key = 1 + static_cast<std::size_t>(found - kIntFields.begin());
        }
        if (m_seen & (1u << m_key))
            return false;
        m_seen |= 1u << m_key;
        m_state = State::ObjectValue;
        return true;
    }

    bool EndObject(rapidjson::SizeType)
    {
        if (m_state == State::Top) {
            m_state = State::Done;
            return (m_topSeen & 2u) != 0;
        }
        if (m_state != State::Object || m_seen != kAllKeys)
            return false;
        objects.push_back(std::make_unique<C3dObject>(std::move(m_shape)));
        m_state = State::List;
        return true;
    }

    bool StartArray()
    {
        if (m_state != State::ListStart)
            return false;
        m_state = State::List;
        return true;
    }

    bool EndArray(rapidjson::SizeType)
    {
        if (m_state != State::List)
            return false;
        m_state = State::Top;
        return true;
    }

private:
    enum class State { Start, Top, SchemaValue, ListStart, List, Object, ObjectValue, Done };

    // A null, boolean, number or string: only the ignored "schema" may be one here.
    bool scalar()
    {
        if (m_state != State::SchemaValue)
            return false;
        m_state = State::Top;
        return true;
    }

    State m_state = State::Start;
    unsigned m_topSeen = 0;
    unsigned m_seen = 0;
    std::size_t m_key = 0;
    std::unique_ptr<C3dShape> m_shape;
};

// A rapidjson input stream over a FileReader, pulled through a buffer of a
// fixed size: memory follows the objects built, not the size of the file.
// Like rapidjson's memory stream it gives '\0' at the end; AtEnd() tells that
// end from a NUL byte in the file. Read errors throw std::system_error.
class FileJsonStream {
public:
    using Ch = char;

    FileJsonStream(fw::FileReader& file, std::size_t bufferSize)
        : m_file(file), m_size(std::max<std::size_t>(bufferSize, 1)), m_buffer(new char[m_size])
    {
        m_cur = m_last = m_buffer.get();
        fill();
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
    // of the file leaves the '\0' that stands for it.
    void fill()
    {
        m_consumed += static_cast<std::size_t>(m_last - m_buffer.get());
        const std::size_t n = m_file.Read(m_buffer.get(), m_size);
        m_cur = m_buffer.get();
        m_last = m_cur + n;
        if (n == 0) {
            m_eof = true;
            m_buffer[0] = '\0';
        }
    }

    fw::FileReader& m_file;
    std::size_t m_size;
    std::unique_ptr<char[]> m_buffer;
    const char* m_cur = nullptr;
    // One past the last byte read; at the end of the file, m_buffer itself,
    // where m_cur points at the '\0' that stands for the end.
    const char* m_last = nullptr;
    std::size_t m_consumed = 0;
    bool m_eof = false;
};

// The objects of `stream` if the fast reader takes the whole of it.
// rapidjson takes a NUL byte for the end of the text, so `atEnd` says
// whether the document really ended there: Qt's reader refuses anything after it.
template <typename Stream, typename AtEnd>
std::optional<ObjectList> fastObjects(Stream& stream, AtEnd atEnd)
{
    FastReader fast;
    rapidjson::Reader reader;
    constexpr unsigned kFlags = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    if (!reader.Parse<kFlags>(stream, fast) || !atEnd())
        return std::nullopt;
    return std::move(fast.objects);
}
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
        const std::string_view name(shape.m_szName);
        // ASCII is the same bytes in UTF-8; other names take the code page's conversion.
        if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            appendJsonString(out, name);
        } else {
            const QByteArray utf8 = fw::fromAnsi(name).toUtf8();
            appendJsonString(out, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        }
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

std::string DumpJson(const ObjectList& objects, std::optional<unsigned> schema)
{
    std::string json;
    WriteJson(objects, schema, [&json](std::string_view piece) { json += piece; });
    return json;
}

std::optional<ObjectList> ObjectsFromJson(const QByteArray& json, QString* error)
{
    rapidjson::MemoryStream stream(json.constData(), static_cast<std::size_t>(json.size()));
    std::optional<ObjectList> objects =
        fastObjects(stream, [&] { return stream.Tell() == static_cast<std::size_t>(json.size()); });
    if (objects)
        return objects;
    return objectsFromQJson(json, error);
}

std::optional<ObjectList> FastObjectsFromJson(fw::FileReader& file, std::size_t bufferSize)
{
    try {
        FileJsonStream stream(file, bufferSize);
        return fastObjects(stream, [&] { return stream.AtEnd(); });
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

} // namespace qbx
