// SPDX-License-Identifier: MIT
#include "mosquitto_broker.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "free_port.h"

namespace wdtest
{

namespace
{

constexpr const char *MOSQUITTO = "/usr/sbin/mosquitto";
constexpr const char *MOSQUITTO_PASSWD = "/usr/bin/mosquitto_passwd";
constexpr const char *OPENSSL = "/usr/bin/openssl";

bool fail(std::string *why, const std::string &text)
{
    if (why)
        *why = text;
    return false;
}

bool run_ok(const std::vector<std::string> &argv, std::string *why)
{
    const Outcome o = run(argv, {}, 60000);
    if (o.exited && o.status == 0)
        return true;
    return fail(why, argv[0] + " " + argv[1] + " failed: " + o.err);
}

bool write_file(const std::string &path, const std::string &text)
{
    std::ofstream f(path);
    f << text;
    return static_cast<bool>(f);
}

bool accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

bool make_server_cert(const std::string &dir, std::string *why)
{
    const std::string ext = dir + "/server.ext";
    if (!write_file(ext, "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                         "extendedKeyUsage=serverAuth\n"))
        return fail(why, "cannot write " + ext);
    return run_ok({OPENSSL, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-keyout", dir + "/server.key", "-out", dir + "/server.csr", "-subj",
                   "/CN=localhost"},
                  why) &&
           run_ok({OPENSSL, "x509", "-req", "-in", dir + "/server.csr", "-CA", dir + "/ca.crt",
                   "-CAkey", dir + "/ca.key", "-CAcreateserial", "-out", dir + "/server.crt",
                   "-days", "2", "-extfile", ext},
                  why);
}

std::string current_user()
{
    const passwd *pw = getpwuid(geteuid());
    return pw != nullptr ? pw->pw_name : "root";
}

} // namespace

bool mosquitto_available()
{
    return access(MOSQUITTO, X_OK) == 0 && access(MOSQUITTO_PASSWD, X_OK) == 0 &&
           access(OPENSSL, X_OK) == 0;
}

bool make_test_ca(const std::string &dir, const std::string &name, std::string *why)
{
    return run_ok({OPENSSL,
                   "req",
                   "-x509",
                   "-newkey",
                   "ec",
                   "-pkeyopt",
                   "ec_paramgen_curve:prime256v1",
                   "-nodes",
                   "-keyout",
                   dir + "/" + name + ".key",
                   "-out",
                   dir + "/" + name + ".crt",
                   "-days",
                   "2",
                   "-subj",
                   "/CN=wifidiag test " + name,
                   "-addext",
                   "basicConstraints=critical,CA:TRUE",
                   "-addext",
                   "keyUsage=critical,keyCertSign,cRLSign"},
                  why);
}

bool MosquittoBroker::prepare(const std::string &dir, const BrokerSetup &setup, std::string *why)
{
    dir_ = dir;
    tls_ = setup.tls;
    port_ = free_loopback_port();
    tls_port_ = setup.tls ? free_loopback_port() : 0;
    if (port_ == 0 || (setup.tls && tls_port_ == 0))
        return fail(why, "no free port");
    const std::string passwd = dir + "/passwd";
    if (!write_file(passwd, ""))
        return fail(why, "cannot write " + passwd);
    for (const BrokerUser &u : setup.users)
        if (!run_ok({MOSQUITTO_PASSWD, "-b", passwd, u.name, u.password}, why))
            return false;
    if (!setup.acl.empty() && !write_file(dir + "/acl", setup.acl))
        return fail(why, "cannot write the ACL");
    if (setup.tls && !(make_test_ca(dir, "ca", why) && make_server_cert(dir, why)))
        return false;

    std::ostringstream conf;
    conf << "per_listener_settings false\n"
         << "user " << current_user() << "\n"
         << "allow_anonymous " << (setup.anonymous ? "true" : "false") << "\n"
         << "password_file " << passwd << "\n"
         << "log_dest file " << dir << "/mosquitto.log\n"
         << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
         << "max_queued_messages 100000\n"
         << "set_tcp_nodelay true\n";
    if (!setup.acl.empty())
        conf << "acl_file " << dir << "/acl\n";
    if (setup.persistence)
        conf << "persistence true\npersistence_location " << dir << "/\n";
    conf << "listener " << port_ << " 127.0.0.1\n";
    if (setup.tls)
        conf << "listener " << tls_port_ << " 127.0.0.1\n"
             << "cafile " << dir << "/ca.crt\n"
             << "certfile " << dir << "/server.crt\n"
             << "keyfile " << dir << "/server.key\n";
    if (!write_file(dir + "/mosquitto.conf", conf.str()))
        return fail(why, "cannot write the broker's configuration");
    return true;
}

bool MosquittoBroker::start(std::string *why)
{
    child_ = std::make_unique<Child>();
    if (!child_->start({MOSQUITTO, "-c", dir_ + "/mosquitto.conf"}, {}, why)) {
        child_.reset();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(accepts(port_) && (!tls_ || accepts(tls_port_)))) {
        if (std::chrono::steady_clock::now() >= deadline || kill(child_->pid(), 0) != 0) {
            stop();
            return fail(why, "mosquitto did not start listening; its log:\n" + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void MosquittoBroker::stop()
{
    if (!child_)
        return;
    child_->send_signal(SIGTERM);
    child_->finish(20000);
    child_.reset();
}

int MosquittoBroker::pid() const
{
    return child_ ? child_->pid() : -1;
}

std::string MosquittoBroker::log() const
{
    std::ifstream f(dir_ + "/mosquitto.log");
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace wdtest
