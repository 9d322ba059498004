#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/event_sink.h"
#include "engine/programmer_manager.h"

namespace korvan::testing {

// Keeps every message shown, from any thread.
class RecordingMessages final : public MessageSink {
public:
    void ShowMessage(const Message& message) override {
        std::lock_guard lock(lock_);
        messages_.push_back(message);
    }
    std::vector<Message> Messages() const {
        std::lock_guard lock(lock_);
        return messages_;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Message& message : Messages()) {
            texts.push_back(message.text);
        }
        return texts;
    }
    // "caption|text" for each message.
    std::vector<std::string> CaptionedTexts() const {
        std::vector<std::string> texts;
        for (const Message& message : Messages()) {
            texts.push_back(message.caption + "|" + message.text);
        }
        return texts;
    }

private:
    mutable std::mutex lock_;
    std::vector<Message> messages_;
};

// Stores every posted code, from any thread; tests wait for the codes they expect, with a
// generous deadline, or take them in order.
class RecordingEvents final : public EventSink {
public:
    static constexpr std::chrono::seconds kDeadline{20};

    void Post(Report report) override {
        if (const Message* message = std::get_if<Message>(&report)) {
            if (messages != nullptr) {
                messages->ShowMessage(*message);
            }
            return;
        }
        const std::optional<int> code = ReportCode(report);
        if (!code) {
            // A result the console would take on its thread: here the test's manager takes it.
            if (results != nullptr) {
                results->TakeResult(report);
            }
            return;
        }
        {
            std::lock_guard lock(lock_);
            codes_.push_back(*code);
            if (const Progress* progress = std::get_if<Progress>(&report)) {
                lastProgress_ = *progress;
            }
            const Finished* finished = std::get_if<Finished>(&report);
            lastDetails_[*code] = finished != nullptr ? finished->detail : "";
        }
        posted_.notify_all();
        if (onPost) {
            onPost(*code);
        }
    }

    // The last progress report posted.
    Progress LastProgress() const {
        std::lock_guard lock(lock_);
        return lastProgress_;
    }

    // Runs on the posting thread after each event; set before the back-end starts.
    std::function<void(int)> onPost;
    // Where posted messages go; set before Init.
    MessageSink* messages = nullptr;
    // Takes the results reported (signatures, bytes read), as the console does; set before Init.
    ProgrammerManager* results = nullptr;

    // True once `count` posted codes satisfy `match`.
    template <typename Match>
    bool WaitForCount(Match match, std::size_t count, std::chrono::milliseconds timeout = kDeadline) {
        std::unique_lock lock(lock_);
        return posted_.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count_if(codes_.begin(), codes_.end(), match)) >= count;
        });
    }
    // True once `code` has been posted `times` times in all.
    bool WaitFor(int code, int times = 1) {
        return WaitForCount([code](int posted) { return posted == code; }, static_cast<std::size_t>(times));
    }
    // Waits until `count` codes beyond the cursor exist and returns them (fewer at the
    // deadline); moves the cursor.
    std::vector<int> Next(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(lock_);
        posted_.wait_for(lock, timeout, [&] { return codes_.size() >= cursor_ + count; });
        const std::size_t end = std::min(codes_.size(), cursor_ + count);
        std::vector<int> slice(codes_.begin() + static_cast<std::ptrdiff_t>(cursor_),
                               codes_.begin() + static_cast<std::ptrdiff_t>(end));
        cursor_ = end;
        return slice;
    }

    // The detail the last report with `code` carried; empty when it carried none.
    std::string DetailOf(int code) const {
        std::lock_guard lock(lock_);
        const auto found = lastDetails_.find(code);
        return found != lastDetails_.end() ? found->second : "";
    }

    std::vector<int> Codes() const {
        std::lock_guard lock(lock_);
        return codes_;
    }
    int Count(int code) const {
        std::lock_guard lock(lock_);
        return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
    }
    std::size_t size() const {
        std::lock_guard lock(lock_);
        return codes_.size();
    }
    void Clear() {
        std::lock_guard lock(lock_);
        codes_.clear();
        cursor_ = 0;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::vector<int> codes_;
    Progress lastProgress_;
    std::map<int, std::string> lastDetails_;
    std::size_t cursor_ = 0;
};

}  // namespace korvan::testing
