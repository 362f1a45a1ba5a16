#include "ApiJson.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace calvenor::sandbox {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Member(Writer& writer, std::string_view name, std::string_view value) {
    writer.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

}  // namespace

std::string ErrorBody(std::string_view code, std::string_view message) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Member(writer, "code", code);
    Member(writer, "message", message);
    writer.EndObject();
    return buffer.GetString();
}

std::string WrappedErrorBody(std::string_view code, std::string_view message,
                             const std::vector<FieldError>& errors) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Member(writer, "code", code);
    Member(writer, "message", message);
    writer.Key("errors");
    writer.StartArray();
    for (const auto& error : errors) {
        writer.StartObject();
        Member(writer, "code", error.code);
        Member(writer, "message", error.message);
        Member(writer, "path", error.path);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return buffer.GetString();
}

std::string OAuthErrorBody(std::string_view error, std::string_view description) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Member(writer, "error", error);
    Member(writer, "error_description", description);
    writer.EndObject();
    return buffer.GetString();
}

}  // namespace calvenor::sandbox
