-- Compares a host's recording of the instrument with thudra-host's renders of
-- the same notes, and the parameter values before saving and after reopening.
--
-- lua render-compare.lua WORKDIR RECORDED.wav LEAD_IN
--   WORKDIR holds played.txt (NOTE, BEFORE), reopened.txt (AFTER),
--   reference.wav (all notes) and withoutN.wav (all but note N, from 0);
--   those renders play the notes LEAD_IN frames later than the recording.
-- Prints one line per check and exits 1 when any fails.

local workdir, recorded_path, lead_in = arg[1], arg[2], tonumber(arg[3])

-- A hit begins where the output departs from a render without that note by
-- more than this (-60 dBFS); a hit's second sample is already above it.
local ONSET_THRESHOLD = 1e-3
-- The noise path's generator runs on between hits, so each hit's noise
-- depends on how long the instrument has run: thudra-host alone gives peaks
-- 0.25 dB apart for the same hit after different lead-ins. Ardour's fader and
-- panner pass the samples through unchanged.
local PEAK_TOLERANCE_DB = 0.5
local ONSET_SEARCH_BEFORE = 4800

local failures = 0
local function check(ok, text)
  print((ok and "ok   " or "FAIL ") .. text)
  if not ok then failures = failures + 1 end
end

local function read_file(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local data = f:read("a")
  f:close()
  return data
end

-- 32-bit float WAV (plain or extensible, any extra chunks), as frames of channels.
local function read_float_wav(path)
  local data = assert(read_file(path), "cannot read " .. path)
  assert(data:sub(1, 4) == "RIFF" and data:sub(9, 12) == "WAVE", path .. ": not a WAV file")
  local pos, channels, format, bits = 13, nil, nil, nil
  while pos + 8 <= #data do
    local id, size = data:sub(pos, pos + 3), string.unpack("<I4", data, pos + 4)
    local body = pos + 8
    if id == "fmt " then
      format, channels = string.unpack("<I2I2", data, body)
      bits = string.unpack("<I2", data, body + 14)
      if format == 0xFFFE then format = string.unpack("<I2", data, body + 24) end
    elseif id == "data" then
      assert(format == 3 and bits == 32, path .. ": not 32-bit float")
      local frames = size // (4 * channels)
      local samples = {}
      for c = 1, channels do samples[c] = {} end
      local p = body
      for f = 1, frames do
        for c = 1, channels do
          samples[c][f] = string.unpack("<f", data, p)
          p = p + 4
        end
      end
      return samples, frames
    end
    pos = body + size + (size % 2)
  end
  error(path .. ": no data chunk")
end

-- A recording and a render side by side, on the recording's frame numbers
-- (0-based), the render shifted back by its lead-in.
local function value(channels, frame)
  return channels[1][frame + 1] or 0, channels[2][frame + 1] or 0
end

local function rendered(channels, frame)
  return value(channels, frame + lead_in)
end

local function first_difference(a, a_value, b, from, to)
  for t = math.max(0, from), to - 1 do
    local al, ar = a_value(a, t)
    local bl, br = rendered(b, t)
    if math.abs(al - bl) > ONSET_THRESHOLD or math.abs(ar - br) > ONSET_THRESHOLD then return t end
  end
  return nil
end

local function peak(channels, channel_value, from, to)
  local p = 0
  for t = from, to - 1 do
    local l, r = channel_value(channels, t)
    p = math.max(p, math.abs(l), math.abs(r))
  end
  return p
end

local function db(x) return 20 * math.log(x, 10) end

local notes, before, after, latency = {}, nil, nil, nil
for line in (read_file(workdir .. "/played.txt") or ""):gmatch("[^\n]+") do
  local sample = line:match("^NOTE (%d+)")
  if sample then notes[#notes + 1] = tonumber(sample) end
  before = line:match("^BEFORE (.*)") or before
  latency = line:match("^LATENCY (%d+)") or latency
end
-- Ardour compensates a plug-in's reported latency when it exports; ours is 0,
-- so every hit must land exactly on its note's sample.
print("info latency the host was told: " .. tostring(latency))
after = (read_file(workdir .. "/reopened.txt") or ""):match("AFTER ([^\n]*)")
check(#notes > 0, #notes .. " notes played")

local recorded, recorded_frames = read_float_wav(recorded_path)
local reference, frames = read_float_wav(workdir .. "/reference.wav")
check(#recorded >= 2 and #reference >= 2, "stereo output")
local span = math.min(frames - lead_in, recorded_frames)

for i, note in ipairs(notes) do
  local next_note = notes[i + 1] or span
  local without = read_float_wav(workdir .. "/without" .. (i - 1) .. ".wav")
  local expected = first_difference(reference, rendered, without, note - ONSET_SEARCH_BEFORE, next_note)
  local got = first_difference(recorded, value, without, note - ONSET_SEARCH_BEFORE, next_note)
  check(expected ~= nil and got == expected,
    string.format("note %d at sample %d: hit begins at %s, thudra-host's at %s",
      i, note, tostring(got), tostring(expected)))
  local p_ref, p_rec = peak(reference, rendered, note, next_note), peak(recorded, value, note, next_note)
  check(p_ref > 0 and p_rec > 0 and math.abs(db(p_rec / p_ref)) <= PEAK_TOLERANCE_DB,
    string.format("note %d peak %.6f, thudra-host's %.6f (%+.4f dB)", i, p_rec, p_ref,
      (p_ref > 0 and p_rec > 0) and db(p_rec / p_ref) or 0))
end

local worst = 0
for t = 0, span - 1 do
  local al, ar = value(recorded, t)
  local bl, br = rendered(reference, t)
  worst = math.max(worst, math.abs(al - bl), math.abs(ar - br))
end
print(string.format("info largest sample difference from thudra-host: %.3g", worst))

check(before ~= nil and after ~= nil, "parameter values read before saving and after reopening")
if before and after then
  local saved, restored = {}, {}
  for index, v in before:gmatch("(%d+)=(%S+)") do saved[tonumber(index)] = v end
  for index, v in after:gmatch("(%d+)=(%S+)") do restored[tonumber(index)] = v end
  local indices = {}
  for index in pairs(saved) do indices[#indices + 1] = index end
  table.sort(indices)
  for _, index in ipairs(indices) do
    check(restored[index] == saved[index], string.format("parameter %d: saved %s, reopened %s",
      index, saved[index], tostring(restored[index])))
  end
  check(#indices > 0, #indices .. " parameters compared")
end

os.exit(failures == 0 and 0 or 1)
