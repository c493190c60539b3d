-- Drives a headless Ardour 7 (ardour7-lua) through what a user does with an
-- instrument: a MIDI track with the plug-in, a MIDI region played back and
-- exported, then parameters changed, the session saved, closed and reopened.
--
-- ardour7-lua ardour-session.lua create WORKDIR PLUGIN_NAME PLUGIN_TYPE
-- ardour7-lua ardour-session.lua play WORKDIR SETTINGS
-- ardour7-lua ardour-session.lua reopen WORKDIR
--   WORKDIR       scratch folder; thudra/ (the session), notes.mid, export/ and the results go here
--   PLUGIN_TYPE   an ARDOUR.PluginType name (LXVST, LV2)
--   SETTINGS      "index=value,..." in the plug-in's own parameter numbering, set in order
-- "create" saves a session with a MIDI track holding the plug-in, "play" adds
-- the notes, exports the master bus to export/*.wav, changes the parameters
-- and saves (played.txt: NOTE and BEFORE lines), "reopen" reads them back
-- (reopened.txt: an AFTER line). Exit 2 means the audio engine went away
-- under us (the caller retries the phase), 1 any other failure.
--
-- Each phase is its own process and leaves without closing its session (it
-- saves first): Ardour 7.3 hangs closing a session after a freewheeling
-- export, and opening a session after closing one in the same process can
-- crash it (the closed session's process graph stays connected).

local phase, workdir = arg[1], arg[2]
local SESSION_NAME = "thudra"
local TRACK_NAME = "Kick"
local EXPORT_PRESET_ID = "5d6a1d45-7b1e-4a3a-9d1e-3f1a7c0de001"
local RATE = 48000
local PPQN = 1920            -- Ardour's own tick resolution; at 120 bpm a tick is 12.5 samples
local SAMPLES_PER_TICK = RATE / 2 / PPQN
local EXPORT_SAMPLES = 2 * RATE

-- Sample positions on whole ticks, some inside a block, one at the very start.
local NOTES = {
  { sample = 0,     key = 36, velocity = 127 },
  { sample = 12000, key = 36, velocity = 100 },
  { sample = 30000, key = 40, velocity = 64 },
  { sample = 50250, key = 36, velocity = 127 },
  { sample = 72075, key = 33, velocity = 90 },
}

local function fail(code, message)
  io.stderr:write("ardour-session: " .. message .. "\n")
  os.exit(code)
end

local function stage(text)
  io.stderr:write("ardour-session: " .. text .. "\n")
end

local function engine_gone()
  return not AudioEngine:running()
end

local function check_engine(what)
  if engine_gone() then fail(2, "audio engine stopped during " .. what) end
end

local function vlq(n)
  local bytes = { string.char(n & 0x7f) }
  n = n >> 7
  while n > 0 do
    table.insert(bytes, 1, string.char(0x80 | (n & 0x7f)))
    n = n >> 7
  end
  return table.concat(bytes)
end

-- A format 0 file at Ardour's tick resolution, so every note lands on its sample.
local function write_notes_mid(path)
  local events = {}
  for _, n in ipairs(NOTES) do
    local tick = math.tointeger(n.sample / SAMPLES_PER_TICK)
    assert(tick, "note off the tick grid")
    events[#events + 1] = { tick = tick, bytes = string.char(0x90, n.key, n.velocity) }
    events[#events + 1] = { tick = tick + PPQN // 8, bytes = string.char(0x80, n.key, 0) }
  end
  table.sort(events, function(a, b) return a.tick < b.tick end)
  local track, last = {}, 0
  for _, e in ipairs(events) do
    track[#track + 1] = vlq(e.tick - last) .. e.bytes
    last = e.tick
  end
  track[#track + 1] = vlq(0) .. "\xff\x2f\x00"
  local body = table.concat(track)
  local f = assert(io.open(path, "wb"))
  f:write("MThd", string.pack(">I4I2I2I2", 6, 0, 1, PPQN), "MTrk", string.pack(">I4", #body), body)
  f:close()
  return last
end

local function read_file(path)
  local f = assert(io.open(path, "rb"))
  local text = f:read("a")
  f:close()
  return text
end

local function write_file(path, text)
  local f = assert(io.open(path, "wb"))
  f:write(text)
  f:close()
end

-- Lua cannot make a MIDI source in Ardour 7, so the region goes into the
-- saved session the way Ardour itself writes a recorded take.
local function add_region_to_session(dir, name, track_name, mid_name, length_ticks)
  local file = dir .. "/" .. name .. ".ardour"
  local xml = read_file(file)
  local source_id, region_id, playlist_region_id = "990001", "990002", "990003"
  local common = 'muted="0" opaque="1" locked="0" video-locked="0" import="0" external="0" '
    .. 'sync-marked="0" left-of-split="0" right-of-split="0" hidden="0" position-locked="0" '
    .. 'valid-transients="0" start="b0" length="b' .. length_ticks .. '@b0" sync-position="b0" '
    .. 'ancestral-start="b0" ancestral-length="b0@b0" stretch="1" shift="1" layering-index="0" '
    .. 'tags="" contents="1" type="midi" first-edit="nothing" '
    .. 'source-0="' .. source_id .. '" master-source-0="' .. source_id .. '"'
  local source = '<Source name="' .. mid_name .. '" type="midi" flags="Writable,CanRename" id="'
    .. source_id .. '" natural-position="a0" origin=""/>'
  local whole = '<Region name="notes" automatic="1" whole-file="1" id="' .. region_id .. '" ' .. common .. '/>'
  local used = '<Region name="notes.1" automatic="0" whole-file="0" id="' .. playlist_region_id .. '" ' .. common .. '/>'

  local n
  xml, n = xml:gsub("<Sources/>", "<Sources>" .. source .. "</Sources>", 1)
  if n == 0 then xml, n = xml:gsub("<Sources>", "<Sources>" .. source, 1) end
  assert(n == 1, "no Sources element")
  xml, n = xml:gsub("<Regions/>", "<Regions>" .. whole .. "</Regions>", 1)
  if n == 0 then xml, n = xml:gsub("<Regions>", "<Regions>" .. whole, 1) end
  assert(n == 1, "no Regions element")
  local pattern = '(<Playlist [^>]-name="' .. track_name .. '" type="midi"[^>]-)/>'
  xml, n = xml:gsub(pattern, "%1>" .. used .. "</Playlist>", 1)
  if n == 0 then
    pattern = '(<Playlist [^>]-name="' .. track_name .. '" type="midi"[^>]->)'
    xml, n = xml:gsub(pattern, "%1" .. used, 1)
  end
  assert(n == 1, "no playlist for the track")
  write_file(file, xml)
end

local function parse_settings(text)
  local list = {}
  for index, value in text:gmatch("(%d+)=([%d.]+)") do
    list[#list + 1] = { index = tonumber(index), value = tonumber(value) }
  end
  return list
end

local function instrument_of(session)
  local route = session:route_by_name(TRACK_NAME)
  assert(not route:isnil(), "track missing")
  local proc = route:nth_plugin(0)
  assert(not proc:isnil(), "plug-in missing from the track")
  return proc
end

local function parameter_values(proc)
  local plugin = proc:to_insert():plugin(0)
  local values = {}
  for i = 0, plugin:parameter_count() - 1 do
    if plugin:parameter_is_control(i) and plugin:parameter_is_input(i) then
      local value = ARDOUR.LuaAPI.get_processor_param(proc, i, true)
      values[#values + 1] = string.format("%d=%.9g", i, value)
    end
  end
  return table.concat(values, " ")
end

local function wait_cycles(n)
  for _ = 1, n do
    ARDOUR.LuaAPI.wait_for_process_callback(1, 1000000)
    check_engine("a wait")
  end
end

-- Ardour makes automatic connections from a thread of its own, and two of
-- its threads talking to the JACK server at once garble the requests (the
-- server then drops Ardour). The server has no hardware ports, and Ardour is
-- told to connect nothing by itself.
local function start_engine()
  ARDOUR.config():set_input_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
  ARDOUR.config():set_output_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
  AudioEngine:set_backend("JACK", "", "")
  if AudioEngine:start(false) ~= 0 or engine_gone() then fail(2, "the JACK backend did not start") end
end

local function create_with_instrument(dir, plugin_name, plugin_type)
  local session = create_session(dir, SESSION_NAME, RATE)
  if not session then fail(1, "could not create the session") end
  check_engine("session creation")
  local info = ARDOUR.LuaAPI.new_plugin_info(plugin_name, ARDOUR.PluginType[plugin_type])
  if info:isnil() then fail(1, "Ardour does not list " .. plugin_type .. " plug-in " .. plugin_name) end
  local tracks = session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
    ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1, TRACK_NAME,
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
  if tracks:size() ~= 1 then fail(1, "could not add the MIDI track") end
  session:save_state("", false, false, false, false, false)
end

local function add_notes(dir)
  local midi_dir = dir .. "/interchange/" .. SESSION_NAME .. "/midifiles"
  os.execute("mkdir -p '" .. midi_dir .. "'")
  local last_tick = write_notes_mid(workdir .. "/notes.mid")
  write_file(midi_dir .. "/notes.mid", read_file(workdir .. "/notes.mid"))
  add_region_to_session(dir, SESSION_NAME, TRACK_NAME, "notes.mid", last_tick + PPQN)
end

local function open_session(dir, what)
  stage("opening the session " .. what)
  local session = load_session(dir, SESSION_NAME)
  if not session then fail(1, "could not open the session " .. what) end
  check_engine("opening the session " .. what)
  return session
end

-- The master bus, offline (freewheeling), from the session's start.
local function export_master(session)
  stage("exporting")
  local export = session:simple_export()
  export:set_folder(workdir .. "/export")
  export:set_name("render")
  export:set_range(0, EXPORT_SAMPLES)
  if not export:set_preset(EXPORT_PRESET_ID) then fail(1, "export preset not found") end
  local ok = export:run_export()
  check_engine("the export")
  if not ok then fail(1, "the export failed") end
end

-- Saved connections are made again while a session opens, twice and from
-- two threads at once; so the session keeps none, and the track is connected
-- to the master bus only while it plays.
local function connect_to_master(session, connect)
  local outputs = session:route_by_name(TRACK_NAME):output()
  local master = session:master_out():input()
  for c = 0, 1 do
    local port = outputs:audio(c)
    local rc
    if connect then rc = port:connect(master:audio(c):name()) else rc = port:disconnect_all() end
    check_engine("connecting the track")
    if rc ~= 0 then fail(1, "could not connect or disconnect the track's outputs") end
  end
end

local function apply_settings(proc, settings)
  for _, s in ipairs(parse_settings(settings)) do
    if not ARDOUR.LuaAPI.set_processor_param(proc, s.index, s.value) then
      fail(1, "could not set parameter " .. s.index)
    end
    wait_cycles(2)
  end
end

local function create(plugin_name, plugin_type)
  start_engine()
  create_with_instrument(workdir .. "/" .. SESSION_NAME, plugin_name, plugin_type)
end

local function play(settings)
  local dir = workdir .. "/" .. SESSION_NAME
  -- Lua cannot make a MIDI region in Ardour 7, so it goes into the saved
  -- session, and the session is opened the way a user reopens a project.
  add_notes(dir)
  os.execute("rm -rf '" .. workdir .. "/export'")  -- a retried run exports afresh
  start_engine()
  local session = open_session(dir, "with the region")
  local proc = instrument_of(session)
  if session:route_by_name(TRACK_NAME):to_track():playlist():n_regions() ~= 1 then
    fail(1, "the MIDI region did not load")
  end
  local results = {}
  for _, n in ipairs(NOTES) do
    results[#results + 1] = string.format("NOTE %d %d %d", n.sample, n.key, n.velocity)
  end
  results[#results + 1] = "LATENCY " .. proc:to_insert():signal_latency()
  connect_to_master(session, true)
  export_master(session)
  connect_to_master(session, false)

  stage("changing parameters and saving")
  apply_settings(proc, settings)
  wait_cycles(4)
  results[#results + 1] = "BEFORE " .. parameter_values(proc)
  session:save_state("", false, false, false, false, false)
  write_file(workdir .. "/played.txt", table.concat(results, "\n") .. "\n")
end

local function reopen()
  start_engine()
  local session = open_session(workdir .. "/" .. SESSION_NAME, "saved with the changes")
  wait_cycles(4)
  write_file(workdir .. "/reopened.txt", "AFTER " .. parameter_values(instrument_of(session)) .. "\n")
end

if phase == "create" then
  create(arg[3], arg[4])
elseif phase == "play" then
  play(arg[3])
elseif phase == "reopen" then
  reopen()
else
  fail(1, "unknown phase " .. tostring(phase))
end
os.exit(0)
