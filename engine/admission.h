#pragma once

#include <QSet>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstddef>

// Who may connect, as the operator sets it.
struct AdmissionRules
{
    // Balancers' addresses, as the lines show them: their connections start with a PROXY header that
    // names the device, and no other connection may claim an address.
    QSet<QString> balancers;
    int perAddress = 0; // connections at a time from one address other than a balancer's; 0: any number
    int total = 0; // connections at a time; 0, or more than the descriptors allow: what they allow
    // Refused connections are told in one line per this much time.
    std::chrono::milliseconds refusalSummary {10000};
    int frontEndDescriptors = 0; // held by the program's other ports, out of the devices' share
    int ipv6Prefix = 64; // the bits of an IPv6 address that make it one address for `perAddress`
};

// How many connections the descriptor limit `limit` allows at a time. The rest are kept for the files
// being created and the program's own (the day files kept open give way near the limit): a
// thirty-second of them, at least 256, but never more than a quarter, so that a low limit still
// serves mostly devices.
inline std::size_t connectionCeiling(long long limit)
{
    const long long reserve = std::min(std::max(256LL, limit / 32), limit / 4);
    return static_cast<std::size_t>(std::max(1LL, limit - reserve));
}
