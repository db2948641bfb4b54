#pragma once

// Which SANE devices a manager session lists. Backends can take seconds to answer
// (network discovery, a slow USB bus), so sane_init and sane_get_devices run on a
// thread of their own and the session waits only a bounded time for them. A probe
// that overran keeps SANE to itself until it returns: no other SANE call starts
// meanwhile, and its devices are not listed.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TSaneDevice
{
    std::string Name;     // what sane_open takes, e.g. "test:0" or "genesys:libusb:001:004"
    std::string Vendor;
    std::string Model;
    std::string Type;
};

// What VELLUMORA_SANE asks for: "0" no SANE at all; unset or anything else local
// devices only; "network" network scanners too (their discovery is the slow part).
enum class TSaneListing { Off, Local, Network };
TSaneListing SaneListingFromEnvironment();

// The backends the SANE configuration loads (dll.conf and dll.d in the first folder
// of SANE_CONFIG_DIR that holds a dll.conf, else /etc/sane.d), for the probe report.
std::vector<std::string> ConfiguredSaneBackends();

class TSaneProbe
{
public:
    TSaneProbe() = default;
    ~TSaneProbe();
    TSaneProbe(const TSaneProbe &) = delete;
    TSaneProbe &operator=(const TSaneProbe &) = delete;

    // Initialises SANE and lists its devices, waiting at most Bound. The devices,
    // sorted by vendor, model and name; empty when SANE is off, failed or overran.
    std::vector<TSaneDevice> Begin(TSaneListing Listing, std::chrono::milliseconds Bound);
    // Leaves SANE (sane_exit) once every device of the session is closed. A probe
    // still running is left to finish on its own.
    void End();

    // One line on the last probe, for the application's run log.
    std::string Report() const;

private:
    void joinFinished();
    // The probe thread's work: sane_init, then the devices.
    void probe(bool LocalOnly);

    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::thread thread_;
    bool running_ = false;      // the thread is inside SANE
    bool initialised_ = false;  // sane_exit is owed
    int status_ = 0;            // SANE_Status of the probe
    std::vector<TSaneDevice> found_;
    std::string report_ = "SANE devices: not probed yet";
};
