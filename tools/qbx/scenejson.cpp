#include "tools/qbx/scenejson.h"

#include "framework/core/ansi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

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

void appendJsonString(std::string& out, const QByteArray& utf8)
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

bool readName(const QJsonValue& value, const QString& at, C3dShape& shape, QString* error)
{
    if (!value.isString())
        return fail(error, at + QStringLiteral(": not a string"));
    const QString name = value.toString();
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

} // namespace

std::string DumpJson(const ObjectList& objects, std::optional<unsigned> schema)
{
    std::string out = "{\n \"schema\": ";
    out += schema ? std::to_string(*schema) : std::string("null");
    out += ",\n \"objects\": [";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const C3dShape& shape = *objects[i]->m_pShape;
        out += i == 0 ? "\n  {\n   \"name\": " : ",\n  {\n   \"name\": ";
        appendJsonString(out, fw::fromAnsi(shape.m_szName).toUtf8());
        for (const IntField& field : kIntFields) {
            out += ",\n   \"";
            out += field.key;
            out += "\": ";
            out += std::to_string(shape.*field.member);
        }
        out += "\n  }";
    }
    out += objects.empty() ? "]\n}\n" : "\n ]\n}\n";
    return out;
}

std::optional<ObjectList> ObjectsFromJson(const QByteArray& json, QString* error)
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

} // namespace qbx
