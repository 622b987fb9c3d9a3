ardour {
	["type"]    = "dsp",
	name        = "Morvo MIDI Recorder",
	category    = "Utility",
	license     = "MIT",
	author      = "Morvo",
	description = [[Records the MIDI events that reach it, each with the sample it arrived at, for the tests]]
}

local capacity = 4096

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } }
end

function dsp_has_midi_input () return true end
function dsp_has_midi_output () return true end

function dsp_init (rate)
	self:shmem():allocate (2 + capacity * 4)
	self:shmem():clear ()
end

function dsp_run (_, _, n_samples)
	local shmem = self:shmem ()
	local count = shmem:atomic_get_int (0)
	local processed = shmem:atomic_get_int (1)
	local data = shmem:to_int (2):array ()
	local i = 1
	for _, b in pairs (midiin) do
		midiout[i] = b
		i = i + 1
		if count < capacity and #b["data"] >= 3 then
			data[count * 4 + 1] = processed + b["time"] - 1
			data[count * 4 + 2] = b["data"][1]
			data[count * 4 + 3] = b["data"][2]
			data[count * 4 + 4] = b["data"][3]
			count = count + 1
		end
	end
	shmem:atomic_set_int (0, count)
	shmem:atomic_set_int (1, processed + n_samples)
end
