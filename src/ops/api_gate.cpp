#include "ops/api_gate.hpp"

#include <condition_variable>
#include <mutex>
#include <optional>

#include <json/value.h>
#include <json/writer.h>

#include "core/exception.hpp"

namespace zentu::ops {

namespace {

// What the asker and the loop's job share.
struct exchange {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<api_answer> answer;
    // The asker gave up: nobody reads an answer any more.
    bool abandoned = false;
};

}  // namespace

std::shared_ptr<api_gate> api_gate::create(libs::core::events_loop& loop,
                                           std::chrono::milliseconds wait) {
    return std::shared_ptr<api_gate>(new api_gate(loop, wait));
}

api_answer api_gate::error(int status, const std::string& text) {
    Json::Value body(Json::objectValue);
    body["error"] = text;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return {status, Json::writeString(writer, body) + "\n", nullptr};
}

api_answer api_gate::ask(api_request request) const {
    const auto shared = std::make_shared<exchange>();
    m_loop.post(
        [self = shared_from_this(), shared, request = std::move(request)] {
            {
                // A job queued while the loop could not run (a start-up that
                // waits for the platform) does no work for nobody.
                const std::lock_guard<std::mutex> lock(shared->mutex);
                if (shared->abandoned)
                    return;
            }
            const auto responder = self->m_responder.lock();
            api_answer answer;
            try {
                answer =
                    responder ? (*responder)(request) : error(503, "the service is not running");
            } catch (...) {
                answer = error(500, libs::core::exception_to_string());
            }
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->answer = std::move(answer);
            shared->done.notify_one();
        },
        ZENTU_SOURCE_LOCATION());
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->done.wait_for(lock, m_wait, [&] { return shared->answer.has_value(); })) {
        shared->abandoned = true;
        return error(503,
                     "the service did not answer within " + std::to_string(m_wait.count()) + " ms");
    }
    api_answer answer = std::move(*shared->answer);
    lock.unlock();
    if (answer.render) {
        try {
            answer.body = answer.render();
        } catch (...) {
            return error(500, libs::core::exception_to_string());
        }
        answer.render = nullptr;
    }
    return answer;
}

}  // namespace zentu::ops
