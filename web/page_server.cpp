#include "web/page_server.h"

#include "cli/av_support.h"
#include "web/page_assets.h"

#include <charconv>

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

// A whole decimal number of 0 or more; nothing else.
std::optional<int64_t> parseCount(const std::string &text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
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
    std::optional<int64_t> number = parseCount(req.get_param_value("order"));
    if (!number)
        throw cli::CliError("order wants a whole number from 0", 2);
    return PageOrder{req.get_param_value("page"), static_cast<uint64_t>(*number)};
}

std::optional<PageOrder> orderOf(const json &body) {
    auto at = body.find("order");
    if (at == body.end())
        return std::nullopt;
    if (!at->is_number_unsigned())
        throw cli::CliError("order wants a whole number from 0", 2);
    auto page = body.find("page");
    if (page != body.end() && !page->is_string())
        throw cli::CliError("page wants a string", 2);
    return PageOrder{page == body.end() ? "" : page->get<std::string>(), at->get<uint64_t>()};
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
    if (port == 0)
        port = server_.bind_to_any_port(host);
    else if (!server_.bind_to_port(host, port))
        port = -1;
    if (port <= 0)
        throw cli::CliError(listen + ": cannot listen there (taken, or not an address of this "
                                     "machine)");
    guard_ = std::make_unique<AccessGuard>(std::move(token), host, port);
    // A client that stops reading or sending holds a worker only this long.
    server_.set_read_timeout(5, 0);
    server_.set_write_timeout(5, 0);
    server_.set_keep_alive_timeout(5);
    server_.set_payload_max_length(largestRequest);
    routes();
}

void PageServer::run() {
    server_.listen_after_bind();
}

void PageServer::stop() {
    server_.stop();
}

void PageServer::routes() {
    server_.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (!guard_->hostMatches(req.get_header_value("Host"))) {
            sendError(res, 403, "this server answers only requests to its own address");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!guard_->tokenMatches(req.path)) {
            sendError(res, 403, "the address lacks the page's token");
            return httplib::Server::HandlerResponse::Handled;
        }
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
                        throw cli::CliError("frame wants a whole number from 0", 2);
                    res.set_content(session_.beforePng(*frame, orderOf(req)), "image/png");
                }));
    server_.Post(root + "/api/after",
                 guarded([this](const httplib::Request &req, httplib::Response &res) {
                     json body = bodyOf(req);
                     auto frame = body.find("frame");
                     if (frame == body.end() || !frame->is_number_unsigned())
                         throw cli::CliError("frame wants a whole number from 0", 2);
                     res.set_content(
                         session_.afterPng(frame->get<int64_t>(), settingsOf(body), orderOf(body)),
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
