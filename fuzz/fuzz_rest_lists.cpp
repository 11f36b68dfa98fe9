// Input: the body of a REST list answer. The synchroniser loads it as the
// initial load does (trackable objects, then zones) and walks it as the alarm
// list, calling every getter of each record view; each element of every list
// also builds the object model of its kind.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context_utils/object_info.hpp"
#include "context_utils/objects/node.hpp"
#include "context_utils/objects/sublocation.hpp"
#include "context_utils/objects/trackable_object.hpp"
#include "context_utils/objects/win_anchor.hpp"
#include "context_utils/objects/zone.hpp"
#include "context_utils/parsers/parser_utils.hpp"
#include "core/json.hpp"
#include "support/object_models.hpp"
#include "support/synchronizer_harness.hpp"

namespace zentu::fuzz {
namespace {

using element = libs::context_utils::json_object;
namespace catalogue = libs::context_utils;

struct rest_harness : synchronizer_harness {
    rest_harness() {
        synchronizer->on_zone_creating([](parsers::zone& zone) { touch(zone); });
        synchronizer->on_trackable_object_creating(
            [](parsers::trackable_object& object) { touch(object); });
    }
};

template <typename Model>
void touch_models(const Json::Value& answer, const catalogue::object_info& info) {
    const Json::Value& list = parsers::parser_utils::member(answer, info.m_rest_json_name.c_str());
    if (!list.isArray())
        return;
    for (const Json::Value& json : list) {
        project_errors_only([&] {
            const auto model = Model::create(element(json));
            touch(*model);
        });
    }
}

}  // namespace
}  // namespace zentu::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentu::fuzz;
    static rest_harness harness;
    std::string text(reinterpret_cast<const char*>(data), size);
    harness.http.set_body(text);
    project_errors_only([&] { harness.synchronizer->initialize(); });
    project_errors_only([&] {
        harness.synchronizer->for_each_alarm_on_server([](parsers::alarm& alarm) {
            touch(alarm);
            return true;
        });
    });

    const auto parsed = zentu::libs::core::json::try_parse(text);
    if (!parsed.ok)
        return 0;
    touch_models<objects::zone>(parsed.result, catalogue::object_infos::zone);
    touch_models<objects::trackable_object>(parsed.result,
                                            catalogue::object_infos::trackable_object);
    touch_models<objects::win_anchor>(parsed.result, catalogue::object_infos::win_anchor);
    touch_models<objects::sublocation>(parsed.result, catalogue::object_infos::sublocation);
    touch_models<objects::node>(parsed.result, catalogue::object_infos::node);
    return 0;
}
