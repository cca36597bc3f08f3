// Skin benchmark: creating and first painting the main window's stand-in
// with the skin in force, against the same window in the plain style, in
// one run. Prints the median times and their ratio, and the one-off cost of
// reading the skins and putting one in force, which a start-up pays once.
// Times are the window thread's CPU time, which other processes on a busy
// machine disturb far less than the clock on the wall; the two looks take
// turns, round by round.
//
//   QT_QPA_PLATFORM=offscreen bench_skins [--rounds N]   (41 by default)

#include "SkinMock.h"
#include "skins/sHintManager.h"
#include "skins/sSkinManager.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWindow>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double ThreadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Min(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// Milliseconds from constructing the window to the end of its first paint.
double CreateAndPaint()
{
    const double start = ThreadMs();
    TSkinMockMainForm form;
    form.show();
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    form.repaint();
    return ThreadMs() - start;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 41;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    QApplication app(argc, argv);

    const double before = ThreadMs();
    TsSkinManager skins;
    TsHintManager hints(skins);
    // Hints first: the skin then comes into force once, with the hint look.
    hints.Loaded();
    skins.Loaded();
    const double oneOff = ThreadMs() - before;

    // One untimed window in each look warms the font and glyph caches.
    skins.SetActive(false);
    CreateAndPaint();
    skins.SetActive(true);
    CreateAndPaint();

    std::vector<double> plain;
    std::vector<double> skinned;
    for (int i = 0; i < rounds; ++i) {
        // A fresh style each round: the skin decodes its textures again.
        skins.SetActive(false);
        plain.push_back(CreateAndPaint());
        skins.SetActive(true);
        skinned.push_back(CreateAndPaint());
    }
    const double p = Median(plain);
    const double s = Median(skinned);
    std::printf("rounds                       %d\n", rounds);
    std::printf("plain window   create+paint  %.2f ms (median)\n", p);
    std::printf("skinned window create+paint  %.2f ms (median)\n", s);
    std::printf("skinned / plain              %.3f (medians), %.3f (fastest rounds)\n", s / p,
                Min(skinned) / Min(plain));
    std::printf("read skins + put in force    %.2f ms (once per start)\n", oneOff);
    std::printf("(skinned + once) / plain     %.3f\n", (s + oneOff) / p);
    return 0;
}
