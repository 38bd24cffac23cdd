ardour {
	["type"]    = "dsp",
	name        = "Halvorine Test Signal",
	category    = "Utility",
	license     = "MIT",
	author      = "Pellucid",
	description = [[The test signal of the VST3 edition's Ardour test (make_signal.py writes the same samples): integer noise, alternately loud and quiet every 2205 frames, every sample exactly a 32-bit float.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

local n = 0
local state = { 1, 2 }

function dsp_run (ins, outs, n_samples)
	local a = { outs[1]:array (), outs[2]:array () }
	for i = 1, n_samples do
		local loud = (n // 2205) % 2 == 0
		for c = 1, 2 do
			state[c] = (state[c] * 1664525 + 1013904223) & 0xFFFFFFFF
			local k = (state[c] >> 8) - 8388608
			a[c][i] = loud and k / 16777216.0 or k / 2147483648.0
		end
		n = n + 1
	end
end
