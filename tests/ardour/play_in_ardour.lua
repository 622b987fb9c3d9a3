-- Plays the plug-in in a headless Ardour session: a MIDI track holding Ostrel, its output
-- recorded on a second MIDI track by the Morvo MIDI Recorder. Prints what Ardour says of the
-- plug-in, then every MIDI event recorded: "event SAMPLE STATUS DATA1 DATA2".
--   internal: 120 bpm, the default program, internal timing.
--   external: 140 bpm, step s at value s/15, 4 steps a beat, external timing; the transport
--             rolls from 0, is relocated to beat RELOCATE_BEAT half way through and rolls on.
--             Prints "relocated SAMPLE" with the recorder's sample count at the request.
-- usage: ardour7-lua play_in_ardour.lua SESSION_FOLDER SECONDS [internal|external]
local folder, seconds, timing = arg[1], tonumber(arg[2] or "3"), arg[3] or "internal"
local RELOCATE_BEAT = 2.125 -- half way through step 9 (8.5 steps in)

AudioEngine:set_backend("None (Dummy)", "", "")
assert(create_session(folder, "morvo", 44100), "cannot create a session")
local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local function midiTrack(name)
	return Session:new_midi_track(midi, midi, true, ARDOUR.PluginInfo(), nil, nil, 1, name,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false):front()
end

local player = midiTrack("Player")
local plugin = ARDOUR.LuaAPI.new_plugin(Session, "Ostrel", ARDOUR.PluginType.LXVST, "")
assert(not plugin:isnil(), "Ardour does not know Ostrel")
player:add_processor_by_index(plugin, -1, nil, true)
local vst = plugin:to_insert():plugin(0)
local programs = 0
for _ in vst:get_info():get_presets(false):iter() do programs = programs + 1 end
print(string.format("plugin %s|%s|%d|%d", vst:name(), vst:maker(), vst:parameter_count(), programs))

if timing == "external" then
	-- 140 bpm from the session's start.
	local map = Temporal.TempoMap.write_copy()
	map:set_tempo(Temporal.Tempo(140, 140, 4), Temporal.timepos_t(0))
	Temporal.TempoMap.update(map)
	for s = 0, 15 do ARDOUR.LuaAPI.set_processor_param(plugin, s, s / 15) end
	ARDOUR.LuaAPI.set_processor_param(plugin, 16, 0.04) -- 1/4: four steps a beat
	ARDOUR.LuaAPI.set_processor_param(plugin, 21, 1)    -- external timing
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
	sleep(seconds / 2)
	-- The relocation's target, in samples at 140 bpm.
	local target = math.floor(RELOCATE_BEAT * 60 / 140 * Session:nominal_sample_rate() + 0.5)
	print(string.format("relocated %d", shmem:atomic_get_int(1)))
	Session:request_locate(target, false, ARDOUR.LocateTransportDisposition.MustRoll,
		ARDOUR.TransportRequestSource.TRS_UI)
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
