/*
 * Closing repair pass: every logo pixel that neither earlier pass took is
 * filled from the nearest clean or repaired pixel in all four directions,
 * with threshold t3 choosing how. Where the north-south pair disagrees more
 * than the east-west pair by over t3 in every channel the pixel follows
 * east-west; in the opposite case north-south; otherwise it blends all four
 * ends. workMap is left unchanged (these pixels stay 0), so the searches
 * never end on a pixel this pass wrote and the visiting order does not
 * matter.
 */
#include "process/stages.h"

/* |S - N| - |W - E| of one channel. */
static int axisContrast(int south, int north, int west, int east) {
    return absDiff(south, north) - absDiff(west, east);
}

/* Each of four ends weighted by the distance to its opposite end. */
static int blendFour(int south, int dS, int north, int dN, int east, int dE, int west, int dW) {
    return (south * dN + north * dS + east * dW + west * dE) / (dS + dN + dE + dW);
}

void repairClosingPass(FilterSettings *s, const FilterActivation *fa) {
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
            int dS = searchRepaired(s->workMap, k, -w, side->southDistance);
            int dN = searchRepaired(s->workMap, k, w, side->northDistance);
            int dE = searchRepaired(s->workMap, k, 1, side->eastDistance);
            int dW = searchRepaired(s->workMap, k, -1, side->westDistance);
            uint32_t south = *rectPixel(&fr, r - dS, c), north = *rectPixel(&fr, r + dN, c);
            uint32_t east = row[c + dE], west = row[c - dW];
            int dRed = axisContrast(redOf(south), redOf(north), redOf(west), redOf(east));
            int dGreen = axisContrast(greenOf(south), greenOf(north), greenOf(west), greenOf(east));
            int dBlue = axisContrast(blueOf(south), blueOf(north), blueOf(west), blueOf(east));
            /* The north-south test comes second and wins when both hold. */
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
                row[c] = packPixel(
                    blendFour(redOf(south), dS, redOf(north), dN, redOf(east), dE, redOf(west), dW),
                    blendFour(greenOf(south), dS, greenOf(north), dN, greenOf(east), dE,
                              greenOf(west), dW),
                    blendFour(blueOf(south), dS, blueOf(north), dN, blueOf(east), dE, blueOf(west),
                              dW));
        }
    }
}
