// SPDX-License-Identifier: MIT
// A real mosquitto broker for tests and benchmarks: on free loopback ports,
// with a password file, an ACL, and a TLS listener whose certificate comes
// from a CA made for the occasion with openssl. Everything lives in one
// folder the caller owns.
#pragma once

#include "subprocess.h"

#include <memory>
#include <string>
#include <vector>

namespace wdtest
{

struct BrokerUser {
    std::string name, password;
};

struct BrokerSetup {
    std::vector<BrokerUser> users;
    std::string acl;          // mosquitto ACL file text; empty: every user may do anything
    bool tls = true;          // also a TLS listener (makes the CA and certificate)
    bool persistence = false; // keep sessions and retained messages across a restart
    bool anonymous = false;   // allow logins without user name
};

class MosquittoBroker
{
  public:
    MosquittoBroker() = default;
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;
    ~MosquittoBroker() { stop(); }

    // Writes config, password file, ACL and certificates into dir (which
    // must exist) and picks the ports. false: why says what failed.
    bool prepare(const std::string &dir, const BrokerSetup &setup, std::string *why = nullptr);
    // Starts the broker and waits until it accepts on its ports; may be
    // called again after stop() (same ports, same files).
    bool start(std::string *why = nullptr);
    // SIGTERM and wait: the broker saves its state when persistence is on.
    void stop();
    // SIGKILL, for benchmarks that do not care.
    bool running() const { return child_ != nullptr; }
    int pid() const;

    int port() const { return port_; }
    int tls_port() const { return tls_port_; }
    // The CA that signed the broker's certificate (names: localhost,
    // 127.0.0.1).
    std::string ca_file() const { return dir_ + "/ca.crt"; }
    std::string log() const; // the broker's log file

  private:
    std::string dir_;
    int port_ = 0, tls_port_ = 0;
    bool tls_ = false;
    std::unique_ptr<Child> child_;
};

// A self-signed CA at dir/name.crt (key dir/name.key). false: why.
bool make_test_ca(const std::string &dir, const std::string &name, std::string *why = nullptr);

// Whether the mosquitto broker and its tools are installed here.
bool mosquitto_available();

} // namespace wdtest
