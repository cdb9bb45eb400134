#include "synth.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100.0;    // rate of the recorded (non-looped) sounds
constexpr double kAmigaC4 = 8363.0;  // playback rate of C-4 with no transposition

// Fixed-seed xorshift noise in [-1, 1): the same sequence on every machine.
struct Noise {
  uint32_t state;
  double next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return double(state) / 2147483648.0 - 1.0;
  }
};

// Scales `x` so its peak is `level` (0..1 of full scale) and rounds to 16 bits.
std::vector<int16_t> toPcm(const std::vector<double>& x, double level) {
  double peak = 1e-9;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  std::vector<int16_t> out(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    out[i] = int16_t(std::clamp(std::lround(x[i] / peak * level * 32767.0), -32767L, 32767L));
  return out;
}

// Transposition that plays a sample recorded at `rate` at that rate for C-4.
void tuneRecorded(XmSample& s, double rate) {
  const double semitones = 12.0 * std::log2(rate / kAmigaC4);
  s.relativeNote = int8_t(std::lround(semitones));
  s.finetune = int8_t(std::clamp(std::lround((semitones - s.relativeNote) * 128.0), -128L, 127L));
}

// Transposition that makes a waveform with a period of `period` points
// sound its note name (A-4 = 440 Hz; A-4 is nine semitones above C-4).
void tunePeriodic(XmSample& s, double period) {
  const double semitones = 12.0 * std::log2(440.0 * period / kAmigaC4) - 9.0;
  s.relativeNote = int8_t(std::lround(semitones));
  s.finetune = int8_t(std::clamp(std::lround((semitones - s.relativeNote) * 128.0), -128L, 127L));
}

// RBJ biquad, direct form I.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double run(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

Biquad makeFilter(const char kind, double freq, double q, double rate = kRate) {
  const double w = 2.0 * kPi * freq / rate;
  const double alpha = std::sin(w) / (2.0 * q);
  const double c = std::cos(w);
  double b0, b1, b2;
  if (kind == 'h') {
    b0 = (1 + c) / 2;
    b1 = -(1 + c);
    b2 = (1 + c) / 2;
  } else if (kind == 'l') {
    b0 = (1 - c) / 2;
    b1 = 1 - c;
    b2 = (1 - c) / 2;
  } else {  // band-pass, peak gain 1
    b0 = alpha;
    b1 = 0;
    b2 = -alpha;
  }
  const double a0 = 1 + alpha;
  Biquad f;
  f.b0 = b0 / a0;
  f.b1 = b1 / a0;
  f.b2 = b2 / a0;
  f.a1 = -2 * c / a0;
  f.a2 = (1 - alpha) / a0;
  return f;
}

// Band-limited saw-like tone of frequency `f` at time `t`, with harmonic
// amplitudes 1/h^slope, odd harmonics weighted by `odd` and even ones by
// `even`, each dying away at `damping` * (h - 1) per second.
double harmonicTone(double f, double t, int maxHarmonic, double slope, double odd, double even,
                    double damping) {
  double sum = 0;
  for (int h = 1; h <= maxHarmonic && h * f < 18000.0; ++h) {
    const double weight = ((h & 1) ? odd : even) / std::pow(double(h), slope);
    sum += weight * std::exp(-damping * (h - 1) * t) * std::sin(2.0 * kPi * h * f * t);
  }
  return sum;
}

XmInstrument single(const char* name, XmSample sample) {
  XmInstrument ins;
  ins.name = name;
  sample.name = name;
  ins.samples.push_back(std::move(sample));
  return ins;
}

XmSample recorded(const std::vector<double>& x, double level, uint8_t panning, double rate = kRate) {
  XmSample s;
  s.data = toPcm(x, level);
  s.panning = panning;
  tuneRecorded(s, rate);
  return s;
}

// Metallic cluster of square waves, the body of the hats and the crash.
double metal(double t) {
  static const double freqs[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  double sum = 0;
  for (double f : freqs) sum += std::sin(2.0 * kPi * f * 3.2 * t) >= 0 ? 1.0 : -1.0;
  return sum / 6.0;
}

XmEnvelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, int sustainPoint = -1) {
  XmEnvelope e;
  e.points = std::move(points);
  e.enabled = true;
  if (sustainPoint >= 0) {
    e.sustain = true;
    e.sustainPoint = uint8_t(sustainPoint);
  }
  return e;
}

}  // namespace

XmInstrument makeHit() {
  const size_t n = size_t(kRate * 0.9);
  std::vector<double> x(n);
  Noise noise{0x1badb002u};
  Biquad crack = makeFilter('b', 3200.0, 0.9);
  const double root = 261.6256;  // C-4
  const double chord[3] = {1.0, 1.4983, 2.0};
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    double tone = 0;
    for (double ratio : chord)
      for (double detune : {0.996, 1.004})
        tone += harmonicTone(root * ratio * detune, t, 60, 1.0, 1.0, 1.0, 6.0);
    const double body =
        tone * std::min(1.0, t / 0.002) * (0.75 * std::exp(-t / 0.16) + 0.25 * std::exp(-t / 0.45));
    const double burst = crack.run(noise.next()) * 6.0 * std::exp(-t / 0.025);
    const double thump =
        std::sin(2.0 * kPi * (70.0 * t + 0.6 * (1.0 - std::exp(-t / 0.01)))) * 2.2 * std::exp(-t / 0.09);
    const double tail = n - i < 2000 ? double(n - i) / 2000.0 : 1.0;
    x[i] = std::tanh(0.5 * (body + burst + thump)) * tail;
  }
  return single("flash hit", recorded(x, 0.95, 128));
}

XmInstrument makeKick() {
  const size_t n = size_t(kRate * 0.42);
  std::vector<double> x(n);
  Noise noise{0x2545f491u};
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double f = 44.0 + 130.0 * std::exp(-t / 0.03) + 60.0 * std::exp(-t / 0.006);
    phase += 2.0 * kPi * f / kRate;
    const double body = std::sin(phase) * std::exp(-t / 0.2);
    const double click = noise.next() * 0.5 * std::exp(-t / 0.0015);
    const double tail = n - i < 1500 ? double(n - i) / 1500.0 : 1.0;
    x[i] = std::tanh(1.6 * (body + click)) * tail;
  }
  return single("kick", recorded(x, 0.97, 128));
}

XmInstrument makeSnare() {
  const size_t n = size_t(kRate * 0.32);
  std::vector<double> x(n);
  Noise noise{0x9e3779b9u};
  Biquad hp = makeFilter('h', 1200.0, 0.7);
  Biquad lp = makeFilter('l', 9000.0, 0.7);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double tone =
        (std::sin(2.0 * kPi * 185.0 * t) + 0.5 * std::sin(2.0 * kPi * 330.0 * t)) * std::exp(-t / 0.045);
    const double rattle = lp.run(hp.run(noise.next())) * 1.3 * std::exp(-t / 0.085);
    const double tail = n - i < 1500 ? double(n - i) / 1500.0 : 1.0;
    x[i] = std::tanh(1.3 * (0.8 * tone + rattle)) * tail;
  }
  return single("snare", recorded(x, 0.97, 118));
}

namespace {

std::vector<double> hat(double seconds, double decay, uint32_t seed) {
  const size_t n = size_t(kRate * seconds);
  std::vector<double> x(n);
  Noise noise{seed};
  Biquad hp1 = makeFilter('h', 6000.0, 0.7);
  Biquad hp2 = makeFilter('h', 3000.0, 0.6);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double raw = 0.6 * metal(t) + 0.7 * noise.next();
    const double tail = n - i < 300 ? double(n - i) / 300.0 : 1.0;
    x[i] = hp2.run(hp1.run(raw)) * std::exp(-t / decay) * tail;
  }
  return x;
}

}  // namespace

XmInstrument makeClosedHat() {
  return single("closed hat", recorded(hat(0.08, 0.016, 0x12345678u), 0.95, 168));
}

XmInstrument makeOpenHat() { return single("open hat", recorded(hat(0.42, 0.11, 0x87654321u), 0.8, 176)); }

XmInstrument makeCrash() {
  const size_t n = size_t(kRate * 1.1);
  std::vector<double> x(n);
  Noise noise{0x0badf00du};
  Biquad hp = makeFilter('h', 3500.0, 0.7);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double raw = 0.4 * metal(t * 1.37) + noise.next();
    const double tail = n - i < 4000 ? double(n - i) / 4000.0 : 1.0;
    x[i] = hp.run(raw) * std::min(1.0, t / 0.003) * std::exp(-t / 0.38) * tail;
  }
  return single("crash", recorded(x, 0.7, 96));
}

XmInstrument makeBass() {
  // One cycle is 128 points; 64 cycles of a dying brightness, then the
  // last two cycles loop (two, so the sub-octave sine fits the loop).
  const int period = 128;
  const int cycles = 64;
  std::vector<double> x(size_t(period * cycles));
  for (size_t i = 0; i < x.size(); ++i) {
    const double phase = double(i) / period;  // in cycles
    double v = 0;
    for (int h = 1; h <= 40; ++h)
      v += std::sin(2.0 * kPi * h * phase) / h * std::exp(-phase * (h - 1) * 0.035);
    v += 0.65 * std::sin(2.0 * kPi * phase / 2.0);
    x[i] = std::tanh(1.2 * v);
  }
  XmSample s;
  s.data = toPcm(x, 0.9);
  s.loopType = 1;
  s.loopStart = uint32_t(x.size() - 2 * period);
  s.loopLength = uint32_t(2 * period);
  s.panning = 128;
  tunePeriodic(s, period);
  XmInstrument ins = single("bass", s);
  ins.volumeEnvelope = envelope({{0, 64}, {6, 54}, {40, 40}}, 2);
  ins.fadeout = 0x600;
  return ins;
}

XmInstrument makeLead(const char* name, uint8_t panning, uint8_t volume) {
  // 8192 points hold exactly 128 and 129 cycles of the two voices, so the
  // loop is seamless and the voices beat slowly against each other.
  const size_t length = 8192;
  std::vector<double> x(length);
  for (size_t i = 0; i < length; ++i) {
    const double u = double(i) / double(length);
    double v = 0;
    for (double cycles : {128.0, 129.0})
      for (int h = 1; h <= 14; ++h) v += ((h & 1) ? 1.0 : 0.45) / h * std::sin(2.0 * kPi * h * cycles * u);
    x[i] = v;
  }
  XmSample s;
  s.data = toPcm(x, 0.85);
  s.loopType = 1;
  s.loopStart = 0;
  s.loopLength = uint32_t(length);
  s.panning = panning;
  s.volume = volume;
  tunePeriodic(s, double(length) / 128.0);
  XmInstrument ins = single(name, s);
  ins.volumeEnvelope = envelope({{0, 36}, {2, 64}, {12, 50}, {50, 42}}, 3);
  ins.fadeout = 0x500;
  return ins;
}

XmInstrument makePad() {
  const size_t length = 8192;
  std::vector<double> x(length);
  for (size_t i = 0; i < length; ++i) {
    const double u = double(i) / double(length);
    double v = 0;
    for (double cycles : {127.0, 128.0, 129.0})
      for (int h = 1; h <= 20; ++h)
        v += std::sin(2.0 * kPi * h * cycles * u + h * cycles * 0.7) / std::pow(h, 1.6);
    v += 0.8 * std::sin(2.0 * kPi * 64.0 * u);
    x[i] = v;
  }
  XmSample s;
  s.data = toPcm(x, 0.8);
  s.loopType = 1;
  s.loopLength = uint32_t(length);
  s.panning = 128;
  tunePeriodic(s, double(length) / 128.0);
  XmInstrument ins = single("pad", s);
  ins.volumeEnvelope = envelope({{0, 0}, {30, 52}, {70, 64}}, 2);
  ins.fadeout = 0x1c0;
  return ins;
}

XmInstrument makePluck() {
  const int period = 64;
  const int cycles = 24;
  std::vector<double> x(size_t(period * cycles));
  for (size_t i = 0; i < x.size(); ++i) {
    const double phase = double(i) / period;
    double v = 0;
    for (int h = 1; h <= 11; h += 2)
      v += std::sin(2.0 * kPi * h * phase) / h * std::exp(-phase * (h - 1) * 0.12);
    v += 0.3 * std::sin(4.0 * kPi * phase);
    x[i] = v;
  }
  XmSample s;
  s.data = toPcm(x, 0.85);
  s.loopType = 1;
  s.loopStart = uint32_t(x.size() - period);
  s.loopLength = uint32_t(period);
  tunePeriodic(s, period);
  XmInstrument ins = single("pluck", s);
  ins.volumeEnvelope = envelope({{0, 64}, {5, 34}, {16, 12}, {36, 0}});
  return ins;
}

XmInstrument makeRiser() {
  const double rate = 22050.0;
  const size_t n = size_t(rate * 2.0);
  std::vector<double> x(n);
  Noise noise{0x5eed1234u};
  Biquad band;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / double(n);  // 0..1 over the swell
    if (i % 64 == 0) {
      Biquad next = makeFilter('b', 400.0 * std::pow(20.0, t), 2.5, rate);
      next.x1 = band.x1;
      next.x2 = band.x2;
      next.y1 = band.y1;
      next.y2 = band.y2;
      band = next;
    }
    const double tail = n - i < 400 ? double(n - i) / 400.0 : 1.0;
    x[i] = band.run(noise.next()) * std::pow(t, 1.6) * tail;
  }
  return single("riser", recorded(x, 0.6, 128, rate));
}
