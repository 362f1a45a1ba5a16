#include "ReturnData.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

CReturnData::~CReturnData() = default;

void CReturnData::BuildJson(const ReturnFigures& figures) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    auto member = [&writer](const char* name, const std::string& value) {
        writer.Key(name);
        writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
    };
    writer.StartObject();
    member("periodKey", figures.periodKey);
    const BoxTexts boxes = GetBoxTexts(figures);
    for (std::size_t box = 0; box < boxes.size(); ++box)
        member(kHmrcBoxNames[box], boxes[box]);
    writer.Key("finalised");
    writer.Bool(true);
    writer.EndObject();
    m_json.assign(buffer.GetString(), buffer.GetSize());
}
