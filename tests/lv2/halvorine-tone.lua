ardour {
	["type"]    = "dsp",
	name        = "Halvorine Tone",
	category    = "Utility",
	license     = "MIT",
	author      = "Pellucid",
	description = [[The meter test's signal: a sine of the given frequency at half of full scale on both channels.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_params ()
	return { { ["type"] = "input", name = "Frequency", min = 20, max = 20000, default = 1000 } }
end

local rate, phase = 48000, 0

function dsp_init (r) rate = r end

function dsp_run (ins, outs, n_samples)
	local step = 2 * math.pi * CtrlPorts:array ()[1] / rate
	local l, r = outs[1]:array (), outs[2]:array ()
	for i = 1, n_samples do
		l[i] = 0.5 * math.sin (phase)
		r[i] = l[i]
		phase = (phase + step) % (2 * math.pi)
	end
end
