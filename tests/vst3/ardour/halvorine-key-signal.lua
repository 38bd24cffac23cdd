ardour {
	["type"]    = "dsp",
	name        = "Halvorine Key Signal",
	category    = "Utility",
	license     = "MIT",
	author      = "Pellucid",
	description = [[The key test's signal: stereo noise, steady, or in bursts (the first 6000 of every 24000 frames of the transport, silence between them and while stopped).]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_params ()
	return { { ["type"] = "input", name = "Bursts", min = 0, max = 1, default = 0, toggled = true } }
end

local state = { 1, 2 }

function dsp_run (ins, outs, n_samples)
	local bursts = CtrlPorts:array ()[1] > 0.5
	local rolling = Session:transport_rolling ()
	local pos = Session:transport_sample ()
	local a = { outs[1]:array (), outs[2]:array () }
	for i = 1, n_samples do
		local loud = not bursts or (rolling and (pos + i - 1) % 24000 < 6000)
		for c = 1, 2 do
			state[c] = (state[c] * 1664525 + 1013904223) & 0xFFFFFFFF
			a[c][i] = loud and ((state[c] >> 8) - 8388608) / 16777216.0 or 0.0
		end
	end
end
