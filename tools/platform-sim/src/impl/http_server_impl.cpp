#include <boost/system/system_error.hpp>
#include <vector>

#include "platform-sim/http_server.hpp"
#include "test_kit/loopback_http_server.hpp"

namespace zentu::platform_sim {
namespace {

using test_kit::http_exchange;
using test_kit::loopback_http_server;

struct handlers {
    platform_api& platform;
    control_api& control;
    platform_sim::faults& faults;
    platform_sim::journal& journal;
    sim_log& log;
};

// By value: a list's text is moved, not copied, into the answer.
void write(const http_exchange::ptr& ex, http_reply reply) {
    test_kit::http_response response;
    response.status = static_cast<int>(reply.status);
    response.body = std::move(reply.body);
    response.headers = {{"Server", "marovane-platform-sim"}, {"Content-Type", reply.content_type}};
    ex->respond(std::move(response));
}

// The routing of the server's one thread. Callbacks from other threads hold
// only a weak pointer to it.
struct server_state {
    explicit server_state(const handlers& h) : handlers(h) {}

    void dispatch(const http_exchange::ptr& ex) {
        const auto& request = ex->request();
        const auto question = request.target.find('?');
        auto path = request.target.substr(0, question);
        const auto query = question == std::string::npos ? "" : request.target.substr(question + 1);
        auto& h = handlers;
        try {
            if (path.rfind("/sim/", 0) == 0)
                return write(ex, h.control.handle(request.method, path, query, request.body));
            if (path.rfind("/api/", 0) == 0 && path.back() != '/')
                path += '/';
            const auto decision = h.faults.next(path);
            if (decision.hang) {
                h.log.line("hanging " + request.method + " " + path);
                parked.push_back(ex);
                return;
            }
            if (decision.close) {
                h.journal.record({request.method, path, request.body, 0, "closed", std::nullopt});
                h.log.line("closing without answer: " + request.method + " " + path);
                return ex->close();
            }
            if (decision.delay.count() == 0)
                return answer(ex, decision, path);
            ex->after(decision.delay, [this, ex, decision, path] { answer(ex, decision, path); });
        } catch (const std::exception& e) {
            write(ex, error_reply(500, std::string("simulator failure: ") + e.what()));
        }
    }

    void answer(const http_exchange::ptr& ex, const fault_decision& decision,
                const std::string& path) {
        const auto& request = ex->request();
        auto& h = handlers;
        if (!decision.status) {
            http_reply reply;
            try {
                reply = h.platform.handle(request.method, path, request.body);
            } catch (const std::exception& e) {
                reply = error_reply(500, std::string("simulator failure: ") + e.what());
            }
            if (decision.late.count() == 0)
                return write(ex, std::move(reply));
            h.log.line("answering " + request.method + " " + path + " late");
            ex->after(decision.late, [ex, reply] { write(ex, reply); });
            return;
        }
        h.journal.record(
            {request.method, path, request.body, *decision.status, "injected", std::nullopt});
        h.log.line("injected " + std::to_string(*decision.status) + " for " + request.method + " " +
                   path);
        write(ex, decision.body.empty() ? error_reply(*decision.status, "injected failure")
                                        : http_reply{*decision.status, decision.body});
    }

    void resume() {
        auto waiting = std::move(parked);
        parked.clear();
        for (auto& ex : waiting)
            dispatch(ex);
    }

    platform_sim::handlers handlers;
    // Requests held back while the platform "hangs"; server's thread only.
    std::vector<http_exchange::ptr> parked;
    std::unique_ptr<loopback_http_server> server;
};

class http_server_impl final : public http_server {
public:
    http_server_impl(const std::string& host, std::uint16_t port, const handlers& h)
        : m_state(std::make_shared<server_state>(h)) {
        loopback_http_server::options o;
        o.address = host == "localhost" ? "127.0.0.1" : host;
        o.port = port;
        // A handler that throws must not take the server down with it.
        o.on_handler_error = [&log = h.log](const std::string& what) {
            log.line("http server: " + what);
        };
        auto on_request = [state = m_state.get()](const http_exchange::ptr& ex) {
            ex->read_body([state](const http_exchange::ptr& read) { state->dispatch(read); });
        };
        try {
            m_state->server = std::make_unique<loopback_http_server>(on_request, std::move(o));
        } catch (const boost::system::system_error& e) {
            throw request_error(
                400, "cannot listen on " + host + ":" + std::to_string(port) + ": " + e.what());
        }
        std::weak_ptr<server_state> weak = m_state;
        h.faults.on_resume([weak] {
            if (auto state = weak.lock())
                state->server->post([raw = state.get()] { raw->resume(); });
        });
    }

    ~http_server_impl() override {
        m_state->server->stop();
        m_state->parked.clear();
    }

    std::uint16_t port() const override { return m_state->server->port(); }
    std::string host() const override { return m_state->server->address(); }

private:
    std::shared_ptr<server_state> m_state;
};

}  // namespace

http_server::ptr http_server::create(const std::string& host, std::uint16_t port,
                                     platform_api& platform, control_api& control, faults& faults,
                                     journal& journal, sim_log& log) {
    return std::make_unique<http_server_impl>(host, port,
                                              handlers{platform, control, faults, journal, log});
}

}  // namespace zentu::platform_sim
