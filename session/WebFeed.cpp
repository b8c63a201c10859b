#include "session/WebFeed.h"

#include "cmdwnd/CCmdWnd.h"
#include "cmdwnd/ChannelPlan.h"
#include "events/EventJson.h"

#include <nlohmann/json.hpp>

namespace velkor {

namespace {
bool sameCall(const velkor_call_s& a, const velkor_call_s& b)
{
    return a.target == b.target && a.origin == b.origin && a.channel == b.channel;
}
} // namespace

WebFeed::WebFeed(CmdWndOwner& owner, CCmdWnd& cmdWnd, EventBacklog& backlog)
    : m_owner(owner)
    , m_cmdWnd(cmdWnd)
    , m_backlog(backlog)
{
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, [this] { update(); });
    m_timer.start();
    update();
}

void WebFeed::update()
{
    m_backlog.setState(stateJson());
}

std::string WebFeed::stateJson()
{
    const AddressNameLookup lookup = [this](uint32_t system, uint32_t fleet, uint32_t unit) {
        return m_owner.GetAddrName(system, fleet, unit);
    };
    const auto party = [&lookup](const velkor_address_s& a) {
        const velkor_address_names_s names = addressNames(a, lookup);
        return nlohmann::json{{"system", a.system},
                              {"fleet", a.fleet},
                              {"unit", a.unit},
                              {"names", {{"system", names.system}, {"fleet", names.fleet}, {"unit", names.unit}}}};
    };
    const CallTracker& tracker = m_cmdWnd.tracker();
    nlohmann::json state;
    state["status"] = m_cmdWnd.activity().text(DecodeActivity::Clock::now());
    state["holds"] = nlohmann::json::array();
    for (const velkor_address_s& a : tracker.holds())
        state["holds"].push_back(m_owner.GetAddrName(a.system, a.fleet, a.unit));
    state["followed"] = nullptr;
    const auto now = std::chrono::steady_clock::now();
    if (tracker.callCounter() == 0) {
        m_followed.reset();
    } else {
        const velkor_call_s& call = tracker.trackedCall();
        if (!m_followed || !sameCall(*m_followed, call)) {
            m_followed = call;
            m_since = now;
        }
        nlohmann::json followed = {
            {"target", party(call.target)},
            {"origin", party(call.origin)},
            {"channel", call.channel},
            {"mhz", nullptr},
            {"seconds", std::chrono::duration_cast<std::chrono::seconds>(now - m_since).count()}};
        if (const velkor_system_params_s* plan = tracker.systemParams(call.target.system))
            if (const std::optional<double> mhz = channelFrequency(*plan, call.channel))
                followed["mhz"] = *mhz;
        state["followed"] = followed;
    }
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace velkor
