#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/events_loop.hpp"

namespace zentu::ops {

// One read request of the operator's JSON API, as the HTTP thread read it:
// the decoded path ("/v1/alarms") and query fields.
struct api_request {
    std::string path;
    std::map<std::string, std::string> query;
};

struct api_answer {
    int status = 200;
    std::string body;
    // When set, the body is written by the asking thread: the loop only
    // copied what it needs (it must own what it reads).
    std::function<std::string()> render;
};

// Builds the answer from the live state; runs on the events loop.
using api_responder = std::function<api_answer(const api_request&)>;

// The door between the HTTP server's threads and the events loop: ask() posts
// the request to the loop, where the responder builds its answer, and waits
// for it at most the given time (then 503); an answer to render is rendered
// by the asker, off the loop. The job shares what it writes
// with the asker, so a job that runs after the asker gave up writes into
// something still alive; a responder gone by then (the service stopping) is
// answered 503 too.
//
// Threading: open() and close() on the loop's thread; ask() from any other
// thread (never the loop's, which would wait for itself).
class api_gate : public std::enable_shared_from_this<api_gate> {
public:
    static constexpr std::chrono::milliseconds default_wait{1000};

    static std::shared_ptr<api_gate> create(libs::core::events_loop& loop,
                                            std::chrono::milliseconds wait = default_wait);

    // The responder is held weakly: whoever owns it ends the answers by
    // letting it go.
    void open(std::weak_ptr<const api_responder> responder) { m_responder = std::move(responder); }

    api_answer ask(api_request request) const;

    // {"error": text}
    static api_answer error(int status, const std::string& text);

private:
    api_gate(libs::core::events_loop& loop, std::chrono::milliseconds wait)
        : m_loop(loop), m_wait(wait) {}

    libs::core::events_loop& m_loop;
    const std::chrono::milliseconds m_wait;
    // Read and written on the loop only.
    std::weak_ptr<const api_responder> m_responder;
};

}  // namespace zentu::ops
