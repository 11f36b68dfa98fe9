// Frames per second through a message stream, end to end on loopback: a PUB
// socket on another thread, the stream's SUB socket on the events loop, and
// the platform framing down to the callback.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <zmq.hpp>

#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"

namespace {

using namespace zentu::libs::core;

constexpr int frames_per_batch = 10000;

std::string make_frame(std::size_t size) {
    std::string frame = "#zone_event {\"object\":\"tag-0001\",\"pad\":\"";
    if (frame.size() + 2 < size)
        frame.append(size - frame.size() - 2, 'x');
    return frame + "\"}";
}

void stream_throughput(benchmark::State& state) {
    logger log("marovane-bench", "stream");
    const auto core = core::create(log);
    auto loop = core->create_events_loop("bench");
    auto& io = loop->get_io_context();

    zmq::context_t context(1);
    zmq::socket_t publisher(context, zmq::socket_type::pub);
    publisher.set(zmq::sockopt::sndhwm, 0);
    publisher.set(zmq::sockopt::linger, 0);
    publisher.bind("tcp://127.0.0.1:*");
    const std::string endpoint = publisher.get(zmq::sockopt::last_endpoint);

    auto stream = loop->create_zmq_message_stream(endpoint);
    std::int64_t received = 0;
    const auto subscription = stream->subscribe("zone_event", [&](std::string_view json) {
        ++received;
        benchmark::DoNotOptimize(json.data());
    });

    // The subscription reaches the publisher some time after connecting.
    const std::string frame = make_frame(static_cast<std::size_t>(state.range(0)));
    while (received == 0) {
        publisher.send(zmq::buffer(frame), zmq::send_flags::none);
        io.run_for(std::chrono::milliseconds(10));
    }

    for (auto _ : state) {
        const std::int64_t target = received + frames_per_batch;
        std::thread sender([&] {
            for (int i = 0; i < frames_per_batch; ++i)
                publisher.send(zmq::buffer(frame), zmq::send_flags::none);
        });
        while (received < target)
            io.run_one();
        sender.join();
    }
    state.SetItemsProcessed(state.iterations() * frames_per_batch);
    state.SetBytesProcessed(state.iterations() * frames_per_batch *
                            static_cast<std::int64_t>(frame.size()));

    stream.reset();
    // Lets the cancelled wait complete before the loop goes.
    io.restart();
    io.poll();
}

BENCHMARK(stream_throughput)->Arg(128)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
