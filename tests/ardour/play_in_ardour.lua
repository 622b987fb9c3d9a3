-- Plays the plug-in in a headless Ardour session: a MIDI track holding Ostrel, through its VST 2
-- library, its VST 3 bundle or its LV2 bundle, its output recorded on a second MIDI track by the
-- Morvo MIDI Recorder. Prints what Ardour says of the plug-in, then every MIDI event recorded:
-- "event SAMPLE STATUS DATA1 DATA2".
--   internal: 120 bpm, the default program, internal timing.
--   external: 140 bpm, step s at value s/15, 4 steps a beat, external timing; the transport
--             rolls from 0, is relocated to beat RELOCATE_BEAT a quarter of the way through,
--             rolls on, and for the second half plays the loop range LOOP (in samples) looped
--             (the loop goes round every 0.43 seconds). Prints
--             "relocated SAMPLE" and "looped SAMPLE START END" with the recorder's sample count at
--             each request.
-- usage: ardour7-lua play_in_ardour.lua SESSION_FOLDER SECONDS [vst2|vst3|lv2] [internal|external]
local folder, seconds = arg[1], tonumber(arg[2] or "3")
local door, timing = arg[3] or "vst2", arg[4] or "internal"
local RELOCATE_BEAT = 2.0 -- where step 9 starts: a position on a step's start is in that step
-- 2000 samples into step 37 (the 5th) up to 2000 samples into step 41 (the 9th): one beat.
local LOOP = { 36 * 4725 + 2000, 40 * 4725 + 2000 }

AudioEngine:set_backend("None (Dummy)", "", "")
assert(create_session(folder, "morvo", 44100), "cannot create a session")
if timing == "external" then
	-- Ardour's Lua makes ranges but not the loop range: the session file is told instead.
	Session:locations():add_range(Temporal.timepos_t(LOOP[1]), Temporal.timepos_t(LOOP[2]))
	Session:save_state("", false, false, false, false, false)
	close_session()
	local file = folder .. "/morvo.ardour"
	local f = assert(io.open(file))
	local xml = f:read("a")
	f:close()
	local n
	xml, n = xml:gsub('flags="IsRangeMarker"', 'flags="IsAutoLoop,IsHidden"')
	assert(n == 1, "no range to loop in the session file")
	f = assert(io.open(file, "w"))
	f:write(xml)
	f:close()
	assert(load_session(folder, "morvo"), "cannot load the session again")
	assert(Session:locations():auto_loop_location() ~= nil, "Ardour has no loop range")
end

local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local function midiTrack(name)
	return Session:new_midi_track(midi, midi, true, ARDOUR.PluginInfo(), nil, nil, 1, name,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false):front()
end

local player = midiTrack("Player")
local plugin
if door == "lv2" then
	plugin = ARDOUR.LuaAPI.new_plugin(Session, "https://halvark.com/plugins/ostrel",
		ARDOUR.PluginType.LV2, "")
elseif door == "vst3" then
	plugin = ARDOUR.LuaAPI.new_plugin(Session, "Ostrel", ARDOUR.PluginType.VST3, "")
else
	plugin = ARDOUR.LuaAPI.new_plugin(Session, "Ostrel", ARDOUR.PluginType.LXVST, "")
end
assert(not plugin:isnil(), "Ardour does not know Ostrel (" .. door .. ")")
player:add_processor_by_index(plugin, -1, nil, true)
local instance = plugin:to_insert():plugin(0)
-- The parameters by name: Ardour numbers a plug-in's controls, inputs and outputs alike, and
-- the LV2 plug-in's "Messages lost" output comes before them.
local control, inputs = {}, 0
local controls = 0
for j = 0, instance:parameter_count() - 1 do
	if instance:parameter_is_control(j) then
		if instance:parameter_is_input(j) then
			control[instance:parameter_label(j)] = controls
			inputs = inputs + 1
		end
		controls = controls + 1
	end
end
local function set(name, value)
	assert(control[name], "no parameter " .. name)
	assert(ARDOUR.LuaAPI.set_processor_param(plugin, control[name], value), "cannot set " .. name)
end
local programs = 0
if door == "vst3" then
	-- Ardour makes a VST 3 plug-in's program list into presets of the instance, under URIs of
	-- its own ("VST3-P:CLASS:NUMBER"), not into presets of the plug-in's information.
	local class = instance:get_info().unique_id
	while instance:preset_by_uri(string.format("VST3-P:%s:%04d", class, programs)) do
		programs = programs + 1
	end
else
	for _ in instance:get_info():get_presets(false):iter() do programs = programs + 1 end
end
print(string.format("plugin %s|%s|%d|%d", instance:name(), instance:maker(), inputs, programs))

if timing == "external" then
	-- 140 bpm from the session's start.
	local map = Temporal.TempoMap.write_copy()
	map:set_tempo(Temporal.Tempo(140, 140, 4), Temporal.timepos_t(0))
	Temporal.TempoMap.update(map)
	for s = 1, 16 do set("step " .. s, (s - 1) / 15) end
	set("Sync Value -Do not automate", 0.04) -- 1/4: four steps a beat
	set("Timing Mode", 1)                    -- external timing
end

-- The player's output goes to the recording track alone.
local listener = midiTrack("Listener")
local recorder = ARDOUR.LuaAPI.new_plugin(Session, "Morvo MIDI Recorder", ARDOUR.PluginType.Lua, "")
assert(not recorder:isnil(), "Ardour does not know the recorder")
listener:add_processor_by_index(recorder, 0, nil, true)
player:output():disconnect_all(nil)
listener:input():disconnect_all(nil)
listener:input():connect(listener:input():nth(0), player:output():nth(0):name(), nil)
listener:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)

local shmem = recorder:to_insert():plugin(0):to_luaproc():shmem()
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
if timing == "external" then
	sleep(seconds / 4)
	-- The relocation's target, in samples at 140 bpm.
	local target = math.floor(RELOCATE_BEAT * 60 / 140 * Session:nominal_sample_rate() + 0.5)
	print(string.format("relocated %d", shmem:atomic_get_int(1)))
	Session:request_locate(target, false, ARDOUR.LocateTransportDisposition.MustRoll,
		ARDOUR.TransportRequestSource.TRS_UI)
	sleep(seconds / 4)
	print(string.format("looped %d %d %d", shmem:atomic_get_int(1), LOOP[1], LOOP[2]))
	Session:request_play_loop(true, true)
	sleep(seconds / 2)
else
	sleep(seconds)
end
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
sleep(1)

local count = shmem:atomic_get_int(0)
local data = shmem:to_int(2):array()
for i = 0, count - 1 do
	print(string.format("event %d %d %d %d", data[i * 4 + 1], data[i * 4 + 2], data[i * 4 + 3], data[i * 4 + 4]))
end
close_session()
