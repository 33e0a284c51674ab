// Plain versions of the frame stages that the module runs in faster forms,
// as references for the tests: each must give the same words as its module
// counterpart for every input.
#pragma once

#include "process/stages.h"

void plainSmoothRect(const FilterSettings *s, const FilterActivation *fa, ChannelTriple *scratch,
                     ChannelTriple *image, const int32_t *counts, int n);
void plainAddNoise(const FilterSettings *s, const FilterActivation *fa);
SceneMeasure plainMeasureSceneChange(const FilterSettings *s, const FilterActivation *fa);
void plainRepairFirstPass(FilterSettings *s, const FilterActivation *fa, int weight);
void plainRepairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight);
void plainRepairClosingPass(FilterSettings *s, const FilterActivation *fa);
