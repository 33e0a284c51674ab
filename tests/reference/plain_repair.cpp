// The straightforward repair passes, kept as the reference for the module's:
// a fresh walk over workMap for every search and a division per channel.
#include "tests/reference/plain_stages.h"

/* Steps from work index k by step until workMap is non-zero, at most limit steps. */
static int plainSearchRepaired(const int32_t *workMap, int k, int step, int limit) {
    int d = 1;
    while (d < limit && workMap[k + d * step] == 0)
        ++d;
    return d;
}

void plainRepairFirstPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    for (int r = 1; r <= fr.h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 1; c <= w - 2; ++c) {
            int k = r * w + c;
            if (s->bitmapMask[k] != 0)
                continue;
            const SideRecord *side = &s->sideTable[k];
            uint32_t value = row[c];
            if (weight == 1) {
                uint32_t south = *rectPixel(&fr, r - side->southDistance, c);
                uint32_t north = *rectPixel(&fr, r + side->northDistance, c);
                if (channelsClose(south, north, s->t1)) {
                    value = interpolatePair(south, side->southDistance, north, side->northDistance);
                    s->workMap[k] = 2;
                }
            } else if (weight == 2) {
                uint32_t east = row[c + side->eastDistance];
                uint32_t west = row[c - side->westDistance];
                if (channelsClose(east, west, s->t1)) {
                    value = interpolatePair(east, side->eastDistance, west, side->westDistance);
                    s->workMap[k] = 2;
                }
            }
            row[c] = value & 0xFFFFFFu;
        }
    }
}

void plainRepairSecondPass(FilterSettings *s, const FilterActivation *fa, int weight) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    int axis = 3 - weight;
    for (int r = 1; r <= fr.h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 1; c <= w - 2; ++c) {
            int k = r * w + c;
            if (s->workMap[k] != 0)
                continue;
            const SideRecord *side = &s->sideTable[k];
            uint32_t value = row[c];
            if (axis == 1) {
                int dS = plainSearchRepaired(s->workMap, k, -w, side->southDistance);
                int dN = plainSearchRepaired(s->workMap, k, w, side->northDistance);
                uint32_t south = *rectPixel(&fr, r - dS, c);
                uint32_t north = *rectPixel(&fr, r + dN, c);
                if (channelsClose(south, north, s->t2)) {
                    value = interpolatePair(south, dS, north, dN);
                    s->workMap[k] = 3;
                }
            } else if (axis == 2) {
                int dE = plainSearchRepaired(s->workMap, k, 1, side->eastDistance);
                int dW = plainSearchRepaired(s->workMap, k, -1, side->westDistance);
                if (channelsClose(row[c + dE], row[c - dW], s->t2)) {
                    value = interpolatePair(row[c + dE], dE, row[c - dW], dW);
                    s->workMap[k] = 3;
                }
            }
            row[c] = value & 0xFFFFFFu;
        }
    }
}

/* |S - N| - |W - E| of one channel. */
static int plainAxisContrast(int south, int north, int west, int east) {
    return absDiff(south, north) - absDiff(west, east);
}

/* Each of four ends weighted by the distance to its opposite end. */
static int plainBlendFour(int south, int dS, int north, int dN, int east, int dE, int west,
                          int dW) {
    return (south * dN + north * dS + east * dW + west * dE) / (dS + dN + dE + dW);
}

void plainRepairClosingPass(FilterSettings *s, const FilterActivation *fa) {
    FrameRect fr = frameRectOf(s, fa);
    int w = fr.w;
    int t = s->t3;
    for (int r = 1; r <= fr.h - 2; ++r) {
        uint32_t *row = rectRow(&fr, r);
        for (int c = 1; c <= w - 2; ++c) {
            int k = r * w + c;
            if (s->workMap[k] != 0)
                continue;
            const SideRecord *side = &s->sideTable[k];
            int dS = plainSearchRepaired(s->workMap, k, -w, side->southDistance);
            int dN = plainSearchRepaired(s->workMap, k, w, side->northDistance);
            int dE = plainSearchRepaired(s->workMap, k, 1, side->eastDistance);
            int dW = plainSearchRepaired(s->workMap, k, -1, side->westDistance);
            uint32_t south = *rectPixel(&fr, r - dS, c), north = *rectPixel(&fr, r + dN, c);
            uint32_t east = row[c + dE], west = row[c - dW];
            int dRed = plainAxisContrast(redOf(south), redOf(north), redOf(west), redOf(east));
            int dGreen =
                plainAxisContrast(greenOf(south), greenOf(north), greenOf(west), greenOf(east));
            int dBlue = plainAxisContrast(blueOf(south), blueOf(north), blueOf(west), blueOf(east));
            int mode = 0;
            if (dRed > t && dGreen > t && dBlue > t)
                mode = 2;
            if (dRed < -t && dGreen < -t && dBlue < -t)
                mode = 1;
            if (mode == 1)
                row[c] = interpolatePair(south, dS, north, dN);
            else if (mode == 2)
                row[c] = interpolatePair(east, dE, west, dW);
            else
                row[c] = packPixel(plainBlendFour(redOf(south), dS, redOf(north), dN, redOf(east),
                                                  dE, redOf(west), dW),
                                   plainBlendFour(greenOf(south), dS, greenOf(north), dN,
                                                  greenOf(east), dE, greenOf(west), dW),
                                   plainBlendFour(blueOf(south), dS, blueOf(north), dN,
                                                  blueOf(east), dE, blueOf(west), dW));
        }
    }
}
