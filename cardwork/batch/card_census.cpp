#include "cardwork/batch/card_census.h"

#include "cardwork/batch/card_workers.h"
#include "cardwork/card/connection_card.h"
#include "carvex/platform/modem_manager.h"

namespace cardwright {

namespace {

CardAnswer AskCard(const carvex::DeviceRoot& root, int port) {
    CardAnswer answer;
    answer.port = port;
    const carvex::ModemManagerBorrow borrow(
        root, port, [&answer](const std::string& said) { answer.borrowing = said; });
    ConnectionCard card(root, port);
    if (!card.Open()) {
        answer.trouble = WhyNotOpened(root, port, card.Connection()).brief;
        return answer;
    }
    answer.identity = ReadCardIdentity(card);
    card.Close();
    return answer;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

}  // namespace

std::vector<CardAnswer> AskCards(const carvex::DeviceRoot& root, const std::vector<int>& ports) {
    std::vector<CardAnswer> answers(ports.size());
    RunOnWorkers(ports.size(), 0, [&](size_t i) { answers[i] = AskCard(root, ports[i]); });
    return answers;
}

CardOfImei FindCardOfImei(const std::vector<CardAnswer>& cards, std::string_view imei) {
    std::vector<int> having;
    std::vector<std::string> others;
    std::vector<std::string> unasked;
    for (const CardAnswer& card : cards) {
        const std::string name = carvex::ComName(card.port);
        if (!card.identity) {
            unasked.push_back(name + " (" + card.trouble + ")");
        } else if (card.identity->imei == imei) {
            having.push_back(card.port);
        } else {
            others.push_back(
                name + " " +
                (card.identity->imei.empty() ? "without an IMEI" : card.identity->imei));
        }
    }
    CardOfImei found;
    if (having.size() == 1) {
        found.port = having.front();
        return found;
    }
    const std::string wanted = "the snapshot's IMEI " + std::string(imei);
    if (having.empty()) {
        found.refusal = "no card plugged in has " + wanted;
        if (!others.empty()) {
            found.refusal += "; the cards have: " + NameList(others);
        }
        if (!unasked.empty()) {
            found.refusal += "; could not be asked: " + NameList(unasked);
        }
        return found;
    }
    std::vector<std::string> ports;
    ports.reserve(having.size());
    for (const int port : having) {
        ports.push_back(carvex::ComName(port));
    }
    found.several = having;
    found.refusal = "several cards have " + wanted + ": " + NameList(ports);
    return found;
}

}  // namespace cardwright
