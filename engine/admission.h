#pragma once

#include <QSet>
#include <QString>

#include <chrono>

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
};
