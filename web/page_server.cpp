#include "web/page_server.h"

#include "cli/av_support.h"
#include "web/page_assets.h"

#include <charconv>
#include <cstdint>

namespace pendra::web {

using nlohmann::json;

namespace {

constexpr size_t largestRequest = 1 << 20; // settings are a few hundred bytes

void sendJson(httplib::Response &res, int status, const json &body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

void sendError(httplib::Response &res, int status, const std::string &message) {
    sendJson(res, status, {{"error", message}});
}

// A whole decimal number from 0 to INT64_MAX, digits only; nothing else.
std::optional<int64_t> parseCount(const std::string &text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// A JSON number that is whole and from 0 to INT64_MAX, checked before it is
// converted: nlohmann::json holds 2^63 .. 2^64-1 as unsigned, which a
// conversion to int64_t would turn negative; fractions, larger numbers
// (held as floating point), texts and the rest are no count.
std::optional<int64_t> countOf(const json &value) {
    if (value.is_number_unsigned()) {
        const uint64_t v = value.get<uint64_t>();
        if (v > static_cast<uint64_t>(INT64_MAX))
            return std::nullopt;
        return static_cast<int64_t>(v);
    }
    if (value.is_number_integer()) {
        const int64_t v = value.get<int64_t>();
        if (v < 0)
            return std::nullopt;
        return v;
    }
    return std::nullopt;
}

const char *const frameRange = "frame wants a whole number from 0 (frames count from 0)";
const char *const orderRange = "order wants a whole number from 0 to 9223372036854775807";
constexpr size_t longestPageName = 64; // the page names itself with 16 hex digits

PageOrder pageOrder(std::string page, std::optional<int64_t> number) {
    if (!number)
        throw cli::CliError(orderRange, 2);
    if (page.size() > longestPageName)
        throw cli::CliError(
            "page wants a name of at most " + std::to_string(longestPageName) + " characters", 2);
    return PageOrder{std::move(page), static_cast<uint64_t>(*number)};
}

// The request's JSON body, which must be an object.
json bodyOf(const httplib::Request &req) {
    json body = json::parse(req.body, nullptr, false);
    if (!body.is_object())
        throw cli::CliError("the request's body is not a JSON object", 2);
    return body;
}

json settingsOf(const json &body) {
    auto at = body.find("settings");
    if (at == body.end() || !at->is_object())
        throw cli::CliError("the request names no settings", 2);
    return *at;
}

// The page's name for itself and its number for a picture request, when it
// gives them.
std::optional<PageOrder> orderOf(const httplib::Request &req) {
    if (!req.has_param("order"))
        return std::nullopt;
    return pageOrder(req.get_param_value("page"), parseCount(req.get_param_value("order")));
}

std::optional<PageOrder> orderOf(const json &body) {
    auto at = body.find("order");
    if (at == body.end())
        return std::nullopt;
    auto page = body.find("page");
    if (page != body.end() && !page->is_string())
        throw cli::CliError("page wants a string", 2);
    return pageOrder(page == body.end() ? "" : page->get<std::string>(), countOf(*at));
}

// Whether a request's body comes in a form whose size is known before a byte
// of it is read; otherwise the answer to give. cpp-httplib 0.11 holds only a
// Content-Length to set_payload_max_length: it reads a chunked body, or a
// body without a length (until the connection closes), whatever its size,
// and it inflates a gzip or brotli body before anything counts it. The page
// sends none of these (fetch() sends a string body with its length), so
// they are refused, from the pre-routing handler, which runs before the
// body is read. Any Transfer-Encoding is refused, not only "chunked": httplib
// takes only that exact spelling as chunked and would take the body as
// length-less under another.
std::optional<std::pair<int, std::string>> bodyFault(const httplib::Request &req) {
    if (req.has_header("Transfer-Encoding"))
        return std::pair{411, std::string("send the body with a Content-Length; no transfer "
                                          "coding is taken")};
    if (req.has_header("Content-Encoding") &&
        req.get_header_value("Content-Encoding") != "identity")
        return std::pair{415, std::string("send the body uncompressed")};
    const bool takesBody = req.method == "POST" || req.method == "PUT" || req.method == "PATCH" ||
                           req.method == "DELETE" || req.method == "PRI";
    if (!req.has_header("Content-Length"))
        return takesBody ? std::optional<std::pair<int, std::string>>(
                               std::pair{411, std::string("send the body with a Content-Length")})
                         : std::nullopt;
    const std::optional<int64_t> length = parseCount(req.get_header_value("Content-Length"));
    if (req.get_header_value_count("Content-Length") != 1 || !length)
        return std::pair{400, std::string("Content-Length wants one whole number")};
    if (*length > static_cast<int64_t>(largestRequest))
        return std::pair{413, "a request's body is at most " + std::to_string(largestRequest) +
                                  " bytes"};
    // httplib leaves the body of a GET unread, to be taken for the next request.
    if (!takesBody && *length != 0)
        return std::pair{400, std::string("a " + req.method + " request has no body")};
    return std::nullopt;
}

// Runs a handler, answering its failures: a mistake in the request is 400,
// a frame past the end 404, an overtaken picture 409, a refusal 422.
template <typename Handler> httplib::Server::Handler guarded(Handler handler) {
    return [handler](const httplib::Request &req, httplib::Response &res) {
        try {
            handler(req, res);
        } catch (const Overtaken &) {
            sendError(res, 409, "overtaken by a newer request");
        } catch (const PastTheEnd &e) {
            sendError(res, 404, e.what());
        } catch (const cli::CliError &e) {
            sendError(res, e.exitCode() == 2 ? 400 : 422, e.what());
        } catch (const json::exception &e) {
            sendError(res, 400, std::string("malformed request: ") + e.what());
        } catch (const std::exception &e) {
            sendError(res, 500, e.what());
        }
    };
}

} // namespace

std::pair<std::string, int> splitListenAddress(const std::string &listen) {
    const size_t colon = listen.rfind(':');
    std::string host = colon == std::string::npos ? "" : listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    std::optional<int64_t> port =
        colon == std::string::npos ? std::nullopt : parseCount(listen.substr(colon + 1));
    if (host.empty() || !port || *port > 65535)
        throw cli::CliError("--listen wants HOST:PORT (e.g. 127.0.0.1:8080; port 0 for any "
                            "free one), not \"" +
                                listen + "\"",
                            2);
    return {host, static_cast<int>(*port)};
}

PageServer::PageServer(ConfigureSession &session, const std::string &listen, std::string token)
    : session_(session) {
    auto [host, port] = splitListenAddress(listen);
    port = server_.bindTo(host, port);
    if (port <= 0)
        throw cli::CliError(listen + ": cannot listen there (taken, or not an address of this "
                                     "machine)");
    guard_ = std::make_unique<AccessGuard>(std::move(token), host, port);
    // An admitted request whose client stops sending its body or reading the
    // answer holds its worker only this long (the gate bounds the rest).
    server_.set_read_timeout(5, 0);
    server_.set_write_timeout(5, 0);
    server_.set_payload_max_length(largestRequest); // bodyFault() refuses first
    routes();
}

void PageServer::run() {
    server_.listen_after_bind();
}

void PageServer::stop() {
    server_.stop();
    server_.stopGate();
}

void PageServer::routes() {
    // Every request comes here with its head read and its body not yet:
    // what is refused here is answered and its connection closed (the gate
    // drops the rest), and only an admitted request keeps its connection.
    server_.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        auto refuse = [&res](int status, const std::string &message) {
            sendError(res, status, message);
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        };
        if (req.get_header_value_count("Host") != 1 ||
            !guard_->hostMatches(req.get_header_value("Host")))
            return refuse(403, "this server answers only requests to its own address");
        if (!guard_->tokenMatches(req.path))
            return refuse(403, "the address lacks the page's token");
        if (auto fault = bodyFault(req))
            return refuse(fault->first, fault->second);
        GatedServer::keepConnection();
        // The token stays out of other sites' logs; nothing is cached or sniffed.
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' blob: data:; connect-src 'self' blob:; "
                       "frame-ancestors 'none'");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const std::string root = "/" + guard_->token();

    server_.Get(root, [root](const httplib::Request &, httplib::Response &res) {
        res.set_redirect(root + "/");
    });
    for (const PageAsset &asset : pageAssets()) {
        std::string path = root + "/";
        if (asset.name != "index.html")
            for (char c : asset.name)
                path += c == '.' ? std::string("\\.") : std::string(1, c);
        server_.Get(path, [&asset](const httplib::Request &, httplib::Response &res) {
            res.set_content(asset.bytes.data(), asset.bytes.size(), asset.type);
        });
    }

    server_.Get(root + "/api/state",
                guarded([this](const httplib::Request &, httplib::Response &res) {
                    sendJson(res, 200, session_.state());
                }));
    server_.Get(root + "/api/before",
                guarded([this](const httplib::Request &req, httplib::Response &res) {
                    std::optional<int64_t> frame = parseCount(req.get_param_value("frame"));
                    if (!frame)
                        throw cli::CliError(frameRange, 2);
                    res.set_content(session_.beforePng(*frame, orderOf(req)), "image/png");
                }));
    server_.Post(root + "/api/after",
                 guarded([this](const httplib::Request &req, httplib::Response &res) {
                     json body = bodyOf(req);
                     auto at = body.find("frame");
                     std::optional<int64_t> frame = at == body.end() ? std::nullopt : countOf(*at);
                     if (!frame)
                         throw cli::CliError(frameRange, 2);
                     res.set_content(session_.afterPng(*frame, settingsOf(body), orderOf(body)),
                                     "image/png");
                 }));
    server_.Post(root + "/api/browse",
                 guarded([this](const httplib::Request &req, httplib::Response &res) {
                     sendJson(res, 200, session_.browse(settingsOf(bodyOf(req))));
                 }));
    server_.Post(root + "/api/save",
                 guarded([this](const httplib::Request &req, httplib::Response &res) {
                     sendJson(res, 200, {{"job", session_.save(settingsOf(bodyOf(req)))}});
                 }));
    server_.Get(root + "/api/analysis",
                guarded([this](const httplib::Request &, httplib::Response &res) {
                    sendJson(res, 200, session_.analysis().status());
                }));
    server_.Post(root + "/api/analysis",
                 guarded([this](const httplib::Request &, httplib::Response &res) {
                     session_.analysis().start();
                     sendJson(res, 202, session_.analysis().status());
                 }));
    server_.Get(root + R"(/api/analysis/(alpha|found)\.png)",
                guarded([this](const httplib::Request &req, httplib::Response &res) {
                    std::string bytes = session_.analysis().picture(req.matches[1].str() + ".png");
                    if (bytes.empty())
                        return sendError(res, 404, "no analysis has finished yet");
                    res.set_content(bytes, "image/png");
                }));
    server_.Post(root + "/api/stop", [this](const httplib::Request &, httplib::Response &res) {
        stopRequested_ = true;
        sendJson(res, 200, {{"stopping", true}});
    });
    server_.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            sendError(res, res.status, res.status == 404 ? "no such page" : "refused");
    });
}

} // namespace pendra::web
