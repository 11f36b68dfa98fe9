#pragma once

#include <chrono>
#include <string>

#include "ops/api_gate.hpp"
#include "ops/metrics.hpp"
#include "service/zone_detector.hpp"

namespace zentu {

// The operator's read-only JSON API: GET /v1/status, /v1/alarms (filters
// object, zone, undelivered=1), /v1/objects/{uid} (the object explained),
// /v1/zones/{uid} (its rule and the objects inside it). Answers are built
// from the live state; each costs what it returns, but for the zone filter of
// /v1/alarms and the objects inside a zone, which walk every alarm, or every
// object of the zone's project, or every movement.
//
// Threading: events-loop thread only (it is the responder of an api_gate).
class operator_api {
public:
    using steady = std::chrono::steady_clock;

    operator_api(const zone_detector& service, const ops::service_metrics& metrics,
                 std::string version, steady::time_point started);

    ops::api_answer answer(const ops::api_request& request) const;

private:
    ops::api_answer status() const;
    ops::api_answer alarms(const ops::api_request& request) const;
    ops::api_answer object(const std::string& uid) const;
    ops::api_answer zone(const std::string& uid) const;

    const zone_detector& m_service;
    const ops::service_metrics& m_metrics;
    const std::string m_version;
    const steady::time_point m_started;
};

}  // namespace zentu
