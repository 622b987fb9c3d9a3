-- Plays the plug-in in a headless Ardour session: a MIDI track at 120 bpm holding Ostrel, its
-- output recorded on a second MIDI track by the Morvo MIDI Recorder. Prints what Ardour says of
-- the plug-in, then every MIDI event recorded: "event SAMPLE STATUS DATA1 DATA2".
-- usage: ardour7-lua play_in_ardour.lua SESSION_FOLDER SECONDS
local folder, seconds = arg[1], tonumber(arg[2] or "3")

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

-- The player's output goes to the recording track alone.
local listener = midiTrack("Listener")
local recorder = ARDOUR.LuaAPI.new_plugin(Session, "Morvo MIDI Recorder", ARDOUR.PluginType.Lua, "")
assert(not recorder:isnil(), "Ardour does not know the recorder")
listener:add_processor_by_index(recorder, 0, nil, true)
player:output():disconnect_all(nil)
listener:input():disconnect_all(nil)
listener:input():connect(listener:input():nth(0), player:output():nth(0):name(), nil)
listener:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)

Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
sleep(seconds)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
sleep(1)

local shmem = recorder:to_insert():plugin(0):to_luaproc():shmem()
local count = shmem:atomic_get_int(0)
local data = shmem:to_int(2):array()
for i = 0, count - 1 do
	print(string.format("event %d %d %d %d", data[i * 4 + 1], data[i * 4 + 2], data[i * 4 + 3], data[i * 4 + 4]))
end
close_session()
