// Input: one message of the platform's stream. The synchroniser gets it as a
// "notify" message and as a position message, with a callback on every slot
// that calls every getter of the view it is handed; the same text then builds
// each object model the per-kind stores would build from a notification.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context_utils/objects/node.hpp"
#include "context_utils/objects/sublocation.hpp"
#include "context_utils/objects/trackable_object.hpp"
#include "context_utils/objects/win_anchor.hpp"
#include "context_utils/objects/zone.hpp"
#include "core/json.hpp"
#include "support/object_models.hpp"
#include "support/synchronizer_harness.hpp"

namespace zentu::fuzz {
namespace {

using notify = libs::context_utils::json_notify;

struct notify_harness : synchronizer_harness {
    notify_harness() {
        auto& s = *synchronizer;
        const auto deleted = [](const std::string&, libs::core::timestamp ts) { check_time(ts); };
        s.on_zone_creating([](parsers::zone& zone) { touch(zone); });
        s.on_zone_updating([](parsers::zone& zone) { touch(zone); });
        s.on_zone_deleting(deleted);
        s.on_trackable_object_creating([](parsers::trackable_object& object) { touch(object); });
        s.on_trackable_object_updating([](parsers::trackable_object& object) { touch(object); });
        s.on_trackable_object_deleting(deleted);
        s.on_pos([](parsers::pos& pos) { touch(pos); });
        s.on_trackable_object_association_creating(
            [](parsers::trackable_object_association& association) { touch(association); });
        s.on_trackable_object_association_updating(
            [](parsers::trackable_object_association& association) { touch(association); });
        s.on_trackable_object_groups_updating(
            [](parsers::trackable_object_groups& groups) { touch(groups); });
    }
};

template <typename Model>
void touch_model(const notify& message) {
    project_errors_only([&] {
        const auto model = Model::create(message);
        touch(*model);
    });
}

}  // namespace
}  // namespace zentu::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentu::fuzz;
    static notify_harness harness;
    const std::string text(reinterpret_cast<const char*>(data), size);
    project_errors_only([&] { harness.synchronizer->handle_notify(text); });
    project_errors_only([&] { harness.synchronizer->handle_pos(text); });

    const auto parsed = zentu::libs::core::json::try_parse(text);
    if (!parsed.ok)
        return 0;
    const notify message(parsed.result);
    touch_model<objects::zone>(message);
    touch_model<objects::trackable_object>(message);
    touch_model<objects::win_anchor>(message);
    touch_model<objects::sublocation>(message);
    touch_model<objects::node>(message);
    return 0;
}
