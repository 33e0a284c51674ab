// The places the location found, read together: the first one estimated
// brings the next few that may be tried after it into the same pass over the
// video, as many as the memory one reading may hold allows, so that trying
// them in rank order decodes the video once rather than once per place.
#pragma once

#include "analysis/estimate.h"
#include "analysis/locate.h"

#include <functional>
#include <map>

namespace pendra::analysis {

class SharedReadings {
  public:
    // `edges`, when given, is the location's: the place that may rest on the
    // whole video, which is also the one that may be repaired without its
    // opacity, has its edges watched in every frame.
    SharedReadings(FrameSource &source, const Range &range, const Options &options,
                   const std::vector<Candidate> &candidates, const EdgePersistence *edges = nullptr)
        : source_(source), range_(range), options_(options), candidates_(candidates),
          edges_(edges) {}

    // The estimate at candidates[index]. When it has not been read, it is
    // read along with the candidates after it that `mayTry` accepts, at most
    // `spare` of them. `wholeVideo` as for estimateAt(). Throws EstimateFailure.
    LogoEstimate estimate(size_t index, const std::function<bool(const Candidate &)> &mayTry,
                          int spare, bool wholeVideo, int64_t &framesRead);

    // Passes over the video made so far.
    int passes() const { return passes_; }

  private:
    void readFrom(size_t index, const std::function<bool(const Candidate &)> &mayTry, int spare,
                  bool watchEdges);

    FrameSource &source_;
    const Range &range_;
    const Options &options_;
    const std::vector<Candidate> &candidates_;
    const EdgePersistence *edges_;
    std::map<size_t, Reading> readings_;
    int passes_ = 0;
};

} // namespace pendra::analysis
