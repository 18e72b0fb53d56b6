#include "analysis/Comparison.h"

#include "analysis/Checks.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>

#include "analysis/Checks.h"
#include "analysis/DecimalText.h"

namespace ZENT::SDK::Analysis {

namespace {

constexpr size_t kNone = SIZE_MAX;

// One step of an alignment: a pair, or a frame of one side alone (the other
// side kNone). The steps of a track pair run forward on both sides.
struct Step {
    size_t a = kNone;
    size_t b = kNone;
};

using Frames = std::vector<CompareFrame>;

uint64_t KeyOf(const CompareFrame& frame) { return (uint64_t{frame.payloadCrc32} << 32) | frame.size; }

int64_t Magnitude(int64_t value) { return value < 0 ? -value : value; }

bool AllTimed(const Frames& frames, size_t from, size_t to) {
    return std::all_of(frames.begin() + static_cast<std::ptrdiff_t>(from),
                       frames.begin() + static_cast<std::ptrdiff_t>(to),
                       [](const CompareFrame& frame) { return frame.timed; });
}

// The median forward step between neighbouring timed frames; none without one.
std::optional<int64_t> UsualStep(const Frames& frames) {
    std::vector<int64_t> steps;
    for (size_t place = 1; place < frames.size(); ++place) {
        const CompareFrame& before = frames[place - 1];
        const CompareFrame& frame = frames[place];
        if (before.timed && frame.timed && frame.time > before.time) steps.push_back(frame.time - before.time);
    }
    if (steps.empty()) return std::nullopt;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

class Aligner {
public:
    Aligner(const Frames& a, const Frames& b, int64_t tolerance) : a_(a), b_(b), tolerance_(tolerance) {
        std::optional<int64_t> step = UsualStep(a);
        if (!step) step = UsualStep(b);
        if (step) halfStep_ = *step / 2;
    }

    std::vector<Step> ByPayload() {
        steps_.clear();
        const std::vector<Step> anchors = Anchors();
        offset_ = anchors.empty() ? 0 : OffsetOf(anchors.front(), 0);
        size_t a0 = 0;
        size_t b0 = 0;
        int64_t left = offset_;
        for (const Step& anchor : anchors) {
            const int64_t right = OffsetOf(anchor, left);
            Gap(a0, anchor.a, b0, anchor.b, left, right);
            steps_.push_back(anchor);
            a0 = anchor.a + 1;
            b0 = anchor.b + 1;
            left = right;
        }
        Gap(a0, a_.size(), b0, b_.size(), left, left);
        return std::move(steps_);
    }

    // The whole tracks by time alone, on one timeline; by position when a frame has no time.
    std::vector<Step> ByTime() {
        steps_.clear();
        offset_ = 0;
        Middle(0, a_.size(), 0, b_.size(), 0, false);
        return std::move(steps_);
    }

    bool TimesUsable() const { return halfStep_ && AllTimed(a_, 0, a_.size()) && AllTimed(b_, 0, b_.size()); }

    // B's time minus A's at the first anchor: the offset between the two timelines.
    int64_t Offset() const { return offset_; }

private:
    int64_t OffsetOf(const Step& pair, int64_t fallback) const {
        const CompareFrame& a = a_[pair.a];
        const CompareFrame& b = b_[pair.b];
        return a.timed && b.timed ? b.time - a.time : fallback;
    }

    // How far B's frame lies from A's after the offset; none without both times.
    std::optional<int64_t> Distance(size_t a, size_t b, int64_t offset) const {
        if (!a_[a].timed || !b_[b].timed) return std::nullopt;
        return b_[b].time - offset - a_[a].time;
    }

    // Whether the pair (a2, b2) is nearer in time than (a, b), which is off by more than the tolerance.
    bool Nearer(size_t a2, size_t b2, size_t a, size_t b, int64_t offset) const {
        const std::optional<int64_t> current = Distance(a, b, offset);
        const std::optional<int64_t> other = Distance(a2, b2, offset);
        return current && other && Magnitude(*current) > tolerance_ && Magnitude(*other) < Magnitude(*current);
    }

    // The longest chain of keys found exactly once on each side, in the same order on both.
    std::vector<Step> Anchors() const {
        std::vector<std::pair<uint64_t, size_t>> keysA(a_.size());
        std::vector<std::pair<uint64_t, size_t>> keysB(b_.size());
        for (size_t place = 0; place < a_.size(); ++place) keysA[place] = {KeyOf(a_[place]), place};
        for (size_t place = 0; place < b_.size(); ++place) keysB[place] = {KeyOf(b_[place]), place};
        std::sort(keysA.begin(), keysA.end());
        std::sort(keysB.begin(), keysB.end());
        const auto runEnd = [](const std::vector<std::pair<uint64_t, size_t>>& keys, size_t from) {
            size_t end = from + 1;
            while (end < keys.size() && keys[end].first == keys[from].first) ++end;
            return end;
        };
        std::vector<size_t> partner(a_.size(), kNone);
        for (size_t p = 0, q = 0; p < keysA.size() && q < keysB.size();) {
            if (keysA[p].first < keysB[q].first) {
                p = runEnd(keysA, p);
            } else if (keysB[q].first < keysA[p].first) {
                q = runEnd(keysB, q);
            } else {
                const size_t endA = runEnd(keysA, p);
                const size_t endB = runEnd(keysB, q);
                if (endA - p == 1 && endB - q == 1) partner[keysA[p].second] = keysB[q].second;
                p = endA;
                q = endB;
            }
        }
        // Patience sorting: tails[n] ends the best chain of n + 1 candidates found so far.
        std::vector<size_t> tails;
        std::vector<size_t> previous(a_.size(), kNone);
        for (size_t place = 0; place < partner.size(); ++place) {
            if (partner[place] == kNone) continue;
            const auto slot = std::lower_bound(tails.begin(), tails.end(), partner[place],
                                               [&partner](size_t tail, size_t b) { return partner[tail] < b; });
            if (slot != tails.begin()) previous[place] = *(slot - 1);
            if (slot == tails.end()) {
                tails.push_back(place);
            } else {
                *slot = place;
            }
        }
        std::vector<Step> anchors;
        for (size_t place = tails.empty() ? kNone : tails.back(); place != kNone; place = previous[place]) {
            anchors.push_back({place, partner[place]});
        }
        std::reverse(anchors.begin(), anchors.end());
        return anchors;
    }

    // A[a0, a1) against B[b0, b1), between anchors whose offsets are given.
    void Gap(size_t a0, size_t a1, size_t b0, size_t b1, int64_t left, int64_t right) {
        size_t a = a0;
        size_t b = b0;
        while (a < a1 && b < b1 && KeyOf(a_[a]) == KeyOf(b_[b])) {
            if (a + 1 < a1 && KeyOf(a_[a + 1]) == KeyOf(b_[b]) && Nearer(a + 1, b, a, b, left)) {
                steps_.push_back({a++, kNone});
            } else if (b + 1 < b1 && KeyOf(a_[a]) == KeyOf(b_[b + 1]) && Nearer(a, b + 1, a, b, left)) {
                steps_.push_back({kNone, b++});
            } else {
                steps_.push_back({a++, b++});
            }
        }
        // Backward from the right anchor, kept in reverse until the middle is done.
        back_.clear();
        size_t endA = a1;
        size_t endB = b1;
        while (endA > a && endB > b && KeyOf(a_[endA - 1]) == KeyOf(b_[endB - 1])) {
            const size_t lastA = endA - 1;
            const size_t lastB = endB - 1;
            if (lastA > a && KeyOf(a_[lastA - 1]) == KeyOf(b_[lastB]) &&
                Nearer(lastA - 1, lastB, lastA, lastB, right)) {
                back_.push_back({lastA, kNone});
                --endA;
            } else if (lastB > b && KeyOf(a_[lastA]) == KeyOf(b_[lastB - 1]) &&
                       Nearer(lastA, lastB - 1, lastA, lastB, right)) {
                back_.push_back({kNone, lastB});
                --endB;
            } else {
                back_.push_back({lastA, lastB});
                --endA;
                --endB;
            }
        }
        Middle(a, endA, b, endB, left, true);
        steps_.insert(steps_.end(), back_.rbegin(), back_.rend());
    }

    // Pairs A[a0, a1) with B[b0, b1) by time where every frame has one, else by position.
    // thenByPosition: frames left between two time pairs pair by position as well.
    void Middle(size_t a0, size_t a1, size_t b0, size_t b1, int64_t offset, bool thenByPosition) {
        if (a0 == a1 || b0 == b1 || !halfStep_ || !AllTimed(a_, a0, a1) || !AllTimed(b_, b0, b1)) {
            ByPosition(a0, a1, b0, b1, steps_);
            return;
        }
        std::vector<Step>& out = thenByPosition ? middle_ : steps_;
        middle_.clear();
        size_t a = a0;
        size_t b = b0;
        while (a < a1 && b < b1) {
            const int64_t distance = *Distance(a, b, offset);
            if (Magnitude(distance) <= *halfStep_) {
                // The nearest one pairs: a frame of A or B in between is left out.
                if (a + 1 < a1 && Magnitude(*Distance(a + 1, b, offset)) < Magnitude(distance)) {
                    out.push_back({a++, kNone});
                } else if (b + 1 < b1 && Magnitude(*Distance(a, b + 1, offset)) < Magnitude(distance)) {
                    out.push_back({kNone, b++});
                } else {
                    out.push_back({a++, b++});
                }
            } else if (distance > 0) {
                out.push_back({a++, kNone});
            } else {
                out.push_back({kNone, b++});
            }
        }
        ByPosition(a, a1, b, b1, out);  // one side is used up: the rest stands alone
        if (!thenByPosition) return;
        pendingA_.clear();
        pendingB_.clear();
        for (const Step& step : middle_) {
            if (step.a != kNone && step.b != kNone) {
                PairPending();
                steps_.push_back(step);
            } else if (step.a != kNone) {
                pendingA_.push_back(step.a);
            } else {
                pendingB_.push_back(step.b);
            }
        }
        PairPending();
    }

    void PairPending() {
        const size_t pairs = std::min(pendingA_.size(), pendingB_.size());
        for (size_t n = 0; n < pairs; ++n) steps_.push_back({pendingA_[n], pendingB_[n]});
        for (size_t n = pairs; n < pendingA_.size(); ++n) steps_.push_back({pendingA_[n], kNone});
        for (size_t n = pairs; n < pendingB_.size(); ++n) steps_.push_back({kNone, pendingB_[n]});
        pendingA_.clear();
        pendingB_.clear();
    }

    static void ByPosition(size_t a0, size_t a1, size_t b0, size_t b1, std::vector<Step>& out) {
        for (; a0 < a1 && b0 < b1; ++a0, ++b0) out.push_back({a0, b0});
        for (; a0 < a1; ++a0) out.push_back({a0, kNone});
        for (; b0 < b1; ++b0) out.push_back({kNone, b0});
    }

    const Frames& a_;
    const Frames& b_;
    int64_t tolerance_;
    std::optional<int64_t> halfStep_;
    int64_t offset_ = 0;
    std::vector<Step> steps_;
    std::vector<Step> back_;    // a gap's pairs backward from its right anchor
    std::vector<Step> middle_;  // a gap's middle by time, before the rest pairs by position
    std::vector<size_t> pendingA_;
    std::vector<size_t> pendingB_;
};

std::string Plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Microseconds as milliseconds with three places: -40000 gives "-40.000".
std::string Milliseconds(int64_t microseconds) {
    std::string text;
    AppendMilliseconds(text, microseconds);
    return text;
}

std::string Payload(const CompareFrame& frame) {
    std::string text = "CRC ";
    AppendHex32(text, frame.payloadCrc32);
    return text + ", " + Plural(frame.size, "byte");
}

std::string Motion(const std::array<uint8_t, 3>& motion) {
    return std::to_string(motion[0]) + "," + std::to_string(motion[1]) + "," + std::to_string(motion[2]);
}

// "30 frames", or "30 frames up to the end" for a GOP that the end of the track cuts.
std::string GopLength(size_t start, size_t next, size_t count) {
    return Plural(next - start, "frame") + (next == count ? " up to the end" : "");
}

// Where a GOP of A, starting at a key frame paired with a key frame of B, and
// the GOP of B starting there end at frames that are not partners.
class GopJudge {
public:
    GopJudge(const CompareTrack& a, const CompareTrack& b, const std::vector<Step>& steps)
        : partnerA_(a.frames.size(), kNone), partnerB_(b.frames.size(), kNone) {
        for (const Step& step : steps) {
            if (step.a == kNone || step.b == kNone) continue;
            partnerA_[step.a] = step.b;
            partnerB_[step.b] = step.a;
        }
        Prepare(a.frames, partnerA_, firstPairedA_, keysA_);
        Prepare(b.frames, partnerB_, firstPairedB_, keysB_);
    }

    // The message when the GOPs at a (A) and b (B) differ, else empty.
    std::string Judge(size_t a, size_t b) const {
        const size_t countA = partnerA_.size();
        const size_t countB = partnerB_.size();
        const size_t nextA = NextKey(keysA_, a, countA);
        const size_t nextB = NextKey(keysB_, b, countB);
        // With pairs in order on both sides, the GOPs match when no pair crosses either end.
        const size_t pairedA = firstPairedA_[nextA];
        const size_t pairedB = firstPairedB_[nextB];
        const bool endsMatch =
            (pairedA == countA || partnerA_[pairedA] >= nextB) && (pairedB == countB || partnerB_[pairedB] >= nextA);
        if (endsMatch) return {};
        return "GOP of " + GopLength(a, nextA, countA) + " in A, " + GopLength(b, nextB, countB) + " in B";
    }

private:
    static void Prepare(const Frames& frames, const std::vector<size_t>& partner, std::vector<size_t>& firstPaired,
                        std::vector<size_t>& keys) {
        firstPaired.assign(frames.size() + 1, frames.size());
        for (size_t place = frames.size(); place-- > 0;) {
            firstPaired[place] = partner[place] != kNone ? place : firstPaired[place + 1];
        }
        for (size_t place = 0; place < frames.size(); ++place) {
            if (frames[place].key) keys.push_back(place);
        }
    }

    static size_t NextKey(const std::vector<size_t>& keys, size_t key, size_t count) {
        const auto next = std::upper_bound(keys.begin(), keys.end(), key);
        return next == keys.end() ? count : *next;
    }

    std::vector<size_t> partnerA_, partnerB_;
    std::vector<size_t> firstPairedA_, firstPairedB_;  // the first paired frame at or after each place
    std::vector<size_t> keysA_, keysB_;
};

class PairReport {
public:
    PairReport(const CompareTrack& a, const CompareTrack& b, const CompareOptions& options, ComparisonResult& result)
        : a_(a), b_(b), options_(options), differences_(result.differences) {
        figures_.trackA = a.track;
        figures_.trackB = b.track;
        figures_.codec = a.codec;
        figures_.framesA = a.frames.size();
        figures_.framesB = b.frames.size();
    }

    TrackComparison Run() {
        Aligner aligner(a_.frames, b_.frames, options_.timeToleranceUs);
        std::vector<Step> steps = aligner.ByPayload();
        const uint64_t byPayload = static_cast<uint64_t>(std::count_if(steps.begin(), steps.end(), [this](Step step) {
            return step.a != kNone && step.b != kNone && KeyOf(a_.frames[step.a]) == KeyOf(b_.frames[step.b]);
        }));
        const uint64_t shorter = std::min(figures_.framesA, figures_.framesB);
        if (byPayload * 10 < shorter) {
            figures_.byTime = true;
            steps = aligner.ByTime();
            Add("re-encoded", kNone, kNone,
                "payloads differ throughout: " + std::to_string(byPayload) + " of " + std::to_string(shorter) +
                    " frames pair by payload; frames paired by " + (aligner.TimesUsable() ? "time" : "position"));
        }
        offset_ = aligner.Offset();
        std::optional<GopJudge> gops;
        if (a_.video || b_.video) gops.emplace(a_, b_, steps);
        for (const Step& step : steps) {
            if (step.b == kNone) {
                ++figures_.onlyA;
                Add("only-a", step.a, kNone, "no counterpart in B (" + Payload(a_.frames[step.a]) + ")");
            } else if (step.a == kNone) {
                ++figures_.onlyB;
                Add("only-b", kNone, step.b, "no counterpart in A (" + Payload(b_.frames[step.b]) + ")");
            } else {
                Pair(step.a, step.b, gops ? &*gops : nullptr);
            }
        }
        EndShift();
        EndPayloadRun();
        return figures_;
    }

private:
    // Lists the difference, unless its kind has had kListedPerCheck on this
    // pair already: two unrelated recordings count their differences without
    // holding one per frame. The place in the list, or kNone.
    size_t Add(const char* kind, size_t a, size_t b, std::string message) {
        if (++listed_[kind] > kListedPerCheck) {
            ++figures_.unlisted;
            return kNone;
        }
        Difference& difference = differences_.emplace_back();
        difference.kind = kind;
        difference.trackA = a_.track;
        difference.trackB = b_.track;
        if (a != kNone) {
            const CompareFrame& frame = a_.frames[a];
            difference.indexA = frame.index;
            if (frame.timed) difference.timeA = static_cast<double>(frame.time) / 1e6;
        }
        if (b != kNone) {
            const CompareFrame& frame = b_.frames[b];
            difference.indexB = frame.index;
            if (frame.timed) difference.timeB = static_cast<double>(frame.time) / 1e6;
        }
        difference.message = std::move(message);
        return differences_.size() - 1;
    }

    void Pair(size_t a, size_t b, const GopJudge* gops) {
        ++figures_.paired;
        const CompareFrame& frameA = a_.frames[a];
        const CompareFrame& frameB = b_.frames[b];
        if (KeyOf(frameA) == KeyOf(frameB)) {
            EndPayloadRun();
            if (frameA.timed && frameB.timed && !figures_.byTime) Shift(a, b, frameB.time - frameA.time - offset_);
        } else if (!figures_.byTime) {
            DifferentPayload(a, b);
        }
        if (frameA.key != frameB.key) {
            ++figures_.key;
            Add("key", a, b, frameA.key ? "key frame in A, not in B" : "key frame in B, not in A");
        }
        if (frameA.diAlert != frameB.diAlert) {
            ++figures_.alert;
            Add("alert", a, b,
                "DI alert " + std::to_string(frameA.diAlert) + " in A, " + std::to_string(frameB.diAlert) + " in B");
        }
        if (frameA.motion != frameB.motion) {
            ++figures_.motion;
            Add("motion", a, b, "motion " + Motion(frameA.motion) + " in A, " + Motion(frameB.motion) + " in B");
        }
        if (gops && frameA.key && frameB.key) {
            std::string message = gops->Judge(a, b);
            if (!message.empty()) {
                ++figures_.gop;
                Add("gop", a, b, std::move(message));
            }
        }
    }

    // A pair of different payloads: a run of them (frames only on one side
    // do not end it) is one difference at its first frame.
    void DifferentPayload(size_t a, size_t b) {
        ++figures_.payload;
        if (payloadRun_ > 0) {
            ++payloadRun_;
            return;
        }
        payloadRun_ = 1;
        payloadDifference_ =
            Add("payload", a, b, "payload " + Payload(a_.frames[a]) + " in A, " + Payload(b_.frames[b]) + " in B");
    }

    void EndPayloadRun() {
        if (payloadRun_ > 1 && payloadDifference_ != kNone) {
            differences_[payloadDifference_].message = Plural(payloadRun_, "frame") +
                                                       " from here differ in payload, the first " +
                                                       differences_[payloadDifference_].message;
        }
        payloadRun_ = 0;
        payloadDifference_ = kNone;
    }

    // A pair of equal payloads whose times moved by shift: a run of equal
    // shifts is one difference at its first frame.
    void Shift(size_t a, size_t b, int64_t shift) {
        const int64_t tolerance = options_.timeToleranceUs;
        if (Magnitude(shift) <= tolerance) {
            EndShift();
            return;
        }
        if (inShift_ && Magnitude(shift - runShift_) <= tolerance) {
            ++runFrames_;
            return;
        }
        EndShift();
        runShift_ = shift;
        runFrames_ = 1;
        inShift_ = true;
        shiftDifference_ = Add("shifted", a, b, {});
    }

    void EndShift() {
        if (!inShift_) return;
        if (shiftDifference_ != kNone) {
            differences_[shiftDifference_].message = Plural(runFrames_, "frame") +
                                                     (runFrames_ == 1 ? "" : " from here") + " shifted by " +
                                                     Milliseconds(runShift_) + " ms";
        }
        figures_.shifted += runFrames_;
        shiftDifference_ = kNone;
        inShift_ = false;
    }

    const CompareTrack& a_;
    const CompareTrack& b_;
    const CompareOptions& options_;
    std::vector<Difference>& differences_;
    TrackComparison figures_;
    int64_t offset_ = 0;
    bool inShift_ = false;            // a run of shifted frames is going on
    size_t shiftDifference_ = kNone;  // its difference, where listed
    int64_t runShift_ = 0;
    uint64_t runFrames_ = 0;
    uint64_t payloadRun_ = 0;           // frames of the run of different payloads going on
    size_t payloadDifference_ = kNone;  // its difference, where listed
    std::map<std::string, uint64_t> listed_;
};

Difference UnpairedTrack(const CompareTrack& track, bool inA) {
    Difference difference;
    difference.kind = "unpaired-track";
    (inA ? difference.trackA : difference.trackB) = track.track;
    const std::string codec = track.codec.empty() ? "?" : track.codec;
    difference.message = codec + " track of " + (inA ? "A" : "B") + " (" + Plural(track.frames.size(), "frame") +
                         ") has no " + codec + " track in " + (inA ? "B" : "A") + " to pair with";
    return difference;
}

}  // namespace

ComparisonResult Compare(const std::vector<CompareTrack>& a, const std::vector<CompareTrack>& b,
                         const CompareOptions& options) {
    ComparisonResult result;
    std::vector<bool> taken(b.size(), false);
    std::vector<Difference> unpaired;
    for (const CompareTrack& trackA : a) {
        size_t partner = 0;
        while (partner < b.size() && (taken[partner] || b[partner].codec != trackA.codec)) ++partner;
        if (partner == b.size()) {
            unpaired.push_back(UnpairedTrack(trackA, true));
            continue;
        }
        taken[partner] = true;
        result.tracks.push_back(PairReport(trackA, b[partner], options, result).Run());
    }
    for (size_t place = 0; place < b.size(); ++place) {
        if (!taken[place]) unpaired.push_back(UnpairedTrack(b[place], false));
    }
    result.differences.insert(result.differences.end(), std::make_move_iterator(unpaired.begin()),
                              std::make_move_iterator(unpaired.end()));
    result.differs =
        !result.differences.empty() || std::any_of(result.tracks.begin(), result.tracks.end(),
                                                   [](const TrackComparison& track) { return track.unlisted > 0; });
    return result;
}

}  // namespace ZENT::SDK::Analysis
